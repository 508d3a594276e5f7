// A program is its model library, linked whole, with main and the runtime of its
// revision; this file only gives the executable a source of its own.
