"""Byte-wide atomic operations on the mapped image.

The program updates the other bits of a flag byte at any moment, so a supervisor that
changes one bit must do it with an atomic OR or AND (or a compare-and-swap), never with a
plain read-modify-write. Python has no such operation; libatomic (part of every GCC
installation) has, and ctypes reaches it. Without libatomic the client falls back to a
plain read-modify-write, which can lose a bit the program writes in the same instant.
"""

import ctypes
import ctypes.util

_RELAXED = 0


def _load_libatomic():
    for name in (ctypes.util.find_library("atomic"), "libatomic.so.1"):
        if not name:
            continue
        try:
            lib = ctypes.CDLL(name)
        except OSError:
            continue
        fetch_or = getattr(lib, "__atomic_fetch_or_1")
        fetch_and = getattr(lib, "__atomic_fetch_and_1")
        cas = getattr(lib, "__atomic_compare_exchange_1")
        for function in (fetch_or, fetch_and):
            function.argtypes = (ctypes.c_void_p, ctypes.c_uint8, ctypes.c_int)
            function.restype = ctypes.c_uint8
        cas.argtypes = (ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint8, ctypes.c_int, ctypes.c_int)
        cas.restype = ctypes.c_bool
        return fetch_or, fetch_and, cas
    return None


_LIBATOMIC = _load_libatomic()


class AtomicBytes:
    """Atomic byte operations on a writable mmap; `release()` before closing the map."""

    def __init__(self, mm):
        self._mm = mm
        self._anchor = None
        self._base = None
        if _LIBATOMIC is not None:
            self._anchor = ctypes.c_char.from_buffer(mm)
            self._base = ctypes.addressof(self._anchor)

    @property
    def atomic(self):
        return self._base is not None

    def release(self):
        self._anchor = None
        self._base = None

    def load(self, offset):
        return self._mm[offset]

    def store(self, offset, value):
        self._mm[offset] = value & 0xFF

    def set_bits(self, offset, bits):
        if self._base is not None:
            _LIBATOMIC[0](self._base + offset, bits, _RELAXED)
        else:
            self._mm[offset] = self._mm[offset] | bits

    def clear_bits(self, offset, bits):
        if self._base is not None:
            _LIBATOMIC[1](self._base + offset, ~bits & 0xFF, _RELAXED)
        else:
            self._mm[offset] = self._mm[offset] & ~bits & 0xFF

    def update(self, offset, change):
        """Replaces the byte by change(byte) in one compare-and-swap loop."""
        if self._base is None:
            self._mm[offset] = change(self._mm[offset]) & 0xFF
            return
        seen = ctypes.c_uint8(self._mm[offset])
        while not _LIBATOMIC[2](self._base + offset, ctypes.byref(seen), change(seen.value) & 0xFF,
                                _RELAXED, _RELAXED):
            pass
