// The Modbus map: which variable of the program sits at which address of which of the
// four tables, in how many registers and in which word order. The default map comes from
// the program's symbols; a map file (CSV or JSON) replaces entries of it or adds to it.
// Reading a map file trusts nothing: every problem is reported with the file, line and
// column, and nothing of a refused file is used.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::modbus {

enum class Table : uint8_t { Coil, DiscreteInput, InputRegister, HoldingRegister };
inline constexpr int kTableCount = 4;

enum class WordOrder : uint8_t { Big, Little };  // Big: the high word at the lower address

struct MapEntry {
    std::string name;       // the variable, as qvctl names it
    Table table = Table::Coil;
    uint16_t address = 0;   // 0-based, as on the wire
    std::string type;       // "" in a map file: the variable's own type
    int words = 0;          // registers (bits: 1); 0 in a map file: the type's default
    std::optional<WordOrder> wordOrder;  // none: the server's --word-order
    bool writable = false;  // a client may write it
    int line = 0;           // where a map file gave it (0: the default map)
};

// A map file as read: its entries, and whether they replace the default map wholly
// (JSON "default": false) or only where they name the same variable or overlap it.
struct MapFile {
    std::vector<MapEntry> entries;
    bool keepDefault = true;
};

inline constexpr std::string_view kCsvHeader = "name,table,address,type,words,word_order,writable";

const char* tableName(Table table);
std::optional<Table> tableByName(std::string_view name);
const char* wordOrderName(WordOrder order);
std::optional<WordOrder> wordOrderByName(std::string_view name);

// True for the tables of single bits (coils, discrete inputs).
constexpr bool isBitTable(Table table) { return table == Table::Coil || table == Table::DiscreteInput; }
// True for the tables a client may write (coils, holding registers).
constexpr bool isWritableTable(Table table) { return table == Table::Coil || table == Table::HoldingRegister; }

// Reads a map file's text: JSON when it starts with "{", else CSV with the header row
// kCsvHeader. `file` only names it in messages ("map.csv:3:12: ..."). Nothing, with
// `error` saying where and why, when the text is not a map. Checks the shape of each
// entry (table, address range, words, order) but not the variables, which need the image.
std::optional<MapFile> parseMapText(std::string_view text, const std::string& file, std::string& error);

// Reads the file (a regular file, bounded in size), then parseMapText.
std::optional<MapFile> readMapFile(const std::string& path, std::string& error);

// The map in either format, one entry per line, ready for an HMI's tag import.
std::string writeMapCsv(const std::vector<MapEntry>& entries);
std::string writeMapJson(const std::vector<MapEntry>& entries);

// The located address of a soft-PLC variable ("%IX0.3", "%QW4", "%MD10") as a place in
// the four tables, following the addressing soft-PLC runtimes commonly use:
//   %IX a.b -> discrete input 8a+b    %QX a.b -> coil 8a+b
//   %IW n   -> input register n       %QW n   -> holding register n
//   %MW n   -> holding register 1024+n
//   %MD n   -> holding registers 2048+2n and the next (two words)
// Nothing for an address outside this scheme (it then takes a place like any variable).
struct LocatedPlace {
    Table table;
    uint16_t address;
    int words;
    bool memory;  // %M: the program's internal memory, which a client may write
};
std::optional<LocatedPlace> locatedPlace(std::string_view address);

}  // namespace qv::modbus
