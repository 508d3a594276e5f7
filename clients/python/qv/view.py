"""The image itself: attached by name, its header checked against its real size, its
layout and program recognised, and its slots read and written as single words."""

from __future__ import annotations

import mmap
import os
import stat
import struct
from typing import Callable, Dict, List, Optional, Tuple

from . import generated as g
from .atomic import AtomicBytes
from .errors import ImageError, UnknownVariable
from .symbols import (AREA_WORDS, SymbolTable, builtin_table, control_variables, read_symbol_file, slot_name, symbol_file_beside)

def status_name(code: int) -> str:
    """The name of a status code, or the number for a code outside 0..5."""
    return g.STATUS_NAMES.get(code, str(code))


def _align(value: int, unit: int) -> int:
    return value if unit == 0 else (value + unit - 1) // unit * unit


def _area_offsets(layout, counts) -> Tuple[List[int], int]:
    header, _, _, char_size, _, _ = layout
    sizes = (g.BOOL_SLOT_SIZE, g.INT_SLOT_SIZE, g.REAL_SLOT_SIZE, char_size)
    offsets, at = [], header
    for area in range(g.AREA_COUNT):
        at = _align(at, sizes[area])
        offsets.append(at)
        at += sizes[area] * counts[area]
    return offsets, at


def _foreign(name: str, st: os.stat_result) -> Optional[str]:
    """Why an existing image is not used, or None when it is this user's alone: another
    user could read, drive or shrink it under the client."""
    mode = stat.S_IMODE(st.st_mode)
    if stat.S_ISLNK(st.st_mode):
        return f'image "{name}" is a symbolic link belonging to user {st.st_uid}; it is not followed'
    if not stat.S_ISREG(st.st_mode):
        return f'image "{name}" is not a shared memory object (user {st.st_uid}, mode {mode:04o}); it is not used'
    if st.st_uid != os.geteuid() or mode & 0o077:
        return f'image "{name}" belongs to user {st.st_uid} with mode {mode:04o}; it is not used'
    return None


def _process_alive(pid: int) -> bool:
    if pid <= 0:
        return False
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A child that has ended but not been waited for is gone for our purpose.
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            return f.read().rsplit(b")", 1)[-1].split()[0] != b"Z"
    except OSError:
        return True


class ImageView:
    """The mapping, the checked layout and the program's names; what every part builds on."""

    def __init__(self, name: Optional[str] = None, model: Optional[str] = None,
                 symbols: Optional[str] = None):
        self.name = name or os.environ.get("QV_MEMORY_NAME") or g.DEFAULT_IMAGE_NAME
        if "/" in self.name or "\0" in self.name or len(self.name) > 250:
            raise ImageError(f"{self.name!r} is not an image name")
        self._mm = None
        self._bytes = None
        self._words = self._reals = None
        self.plant = None          # a plant stepped with the program (see qv.start)
        # Stepped: run() lets wait_until() drive the program one STEP at a time, checking
        # after every cycle (and moving the plant between cycles).
        self.stepped = False
        self.context: Optional[Callable[[], str]] = None  # more to tell when a wait fails
        self._watched: Optional[Dict[str, object]] = None
        self._running = False
        self._fd = -1
        path = f"/dev/shm/{self.name}"
        try:
            # Never through a link, never waiting on a FIFO laid under the name.
            fd = os.open(path, os.O_RDWR | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_CLOEXEC)
        except FileNotFoundError:
            raise ImageError(f'no image named "{self.name}"') from None
        except OSError as e:
            try:
                why = _foreign(self.name, os.lstat(path))
            except OSError:
                why = None
            raise ImageError(why or f'cannot open image "{self.name}": {e.strerror}') from None
        try:
            st = os.fstat(fd)
            why = _foreign(self.name, st)
            if why:
                raise ImageError(why)
            self.size = st.st_size
            if self.size == 0:
                raise ImageError(f'image "{self.name}" is empty')
            self._mm = mmap.mmap(fd, self.size)
        except BaseException:
            os.close(fd)
            raise
        # Kept open to see the image's real size: it may shrink while it is mapped.
        self._fd = fd
        try:
            self._lay_out()
            self._recognise(model, symbols)
        except BaseException:
            self.close()
            raise

    # ---- Attaching ------------------------------------------------------------------

    def _word_at(self, offset: int) -> int:
        if offset < 0 or offset + 4 > self.size:
            return 0
        return struct.unpack_from("<i", self._mm, offset)[0]

    def _describes(self, revision: int) -> bool:
        layout = g.LAYOUTS[revision]
        return self.size >= layout[0] and self._word_at(layout[2]) == layout[0]

    def _runs(self, revision: int) -> bool:
        """Whether the image, read in this revision's layout, holds a live program."""
        layout = g.LAYOUTS[revision]
        counts = [self._word_at(layout[1] + 4 * a) for a in range(g.AREA_COUNT)]
        offsets = [self._word_at(layout[2] + 4 * a) for a in range(g.AREA_COUNT)]
        expected, end = _area_offsets(layout, counts)
        if min(counts) < 0 or offsets != expected or end > self.size:
            return False
        pid_slot = counts[g.AREA_INT] - g.POSPID_FROM_END
        return _process_alive(self._word_at(offsets[g.AREA_INT] + pid_slot * g.INT_SLOT_SIZE))

    def _lay_out(self):
        """Recognises the layout and checks the header against the image's size."""
        where = f'image "{self.name}"'
        candidates = [revision for revision in (3, 1) if self._describes(revision)]
        if not candidates:
            raise ImageError(f"{where} has not been laid out by a program ({self.size} bytes)")
        # A program lays out an image without clearing it: one of revision 1 on an image a
        # revision-3 program left (or the other way round) leaves the other's header in
        # place. The layout of the live program wins, else revision 3.
        if len(candidates) == 2 and not self._runs(3) and self._runs(1):
            candidates = [1]
        self.layout_revision = candidates[0]
        self._layout = layout = g.LAYOUTS[self.layout_revision]
        counts = [self._word_at(layout[1] + 4 * a) for a in range(g.AREA_COUNT)]
        offsets = [self._word_at(layout[2] + 4 * a) for a in range(g.AREA_COUNT)]
        for area, count in enumerate(counts):
            if count < 0:
                raise ImageError(f"{where}: {count} slots in the {AREA_WORDS[area]} area")
        expected, end = _area_offsets(layout, counts)
        for area in range(g.AREA_COUNT):
            if offsets[area] != expected[area]:
                raise ImageError(f"{where}: the {AREA_WORDS[area]} area starts at {offsets[area]}, "
                                 f"not at {expected[area]} as its slot counts say")
        if end > self.size:
            raise ImageError(f"{where}: character area ends at {end}, past the image's {self.size} bytes")
        exec_slot = layout[4]
        needs = {g.AREA_BOOL: g.BOOL_CONTROL_SLOTS,
                 g.AREA_INT: exec_slot + g.INT_CONTROL_SLOTS + g.POSPID_FROM_END,
                 g.AREA_REAL: g.MAX_MODIFICATION_SLOT + 1,
                 g.AREA_CHAR: g.CHAR_CONTROL_SLOTS}
        for area, need in needs.items():
            if counts[area] < need:
                raise ImageError(f"{where}: its {AREA_WORDS[area]} area of {counts[area]} slots "
                                 f"cannot hold the control variables ({need} needed)")
        self.counts = tuple(counts)
        self._offsets = tuple(offsets)
        self._slot_sizes = (g.BOOL_SLOT_SIZE, g.INT_SLOT_SIZE, g.REAL_SLOT_SIZE, layout[3])
        self._exec = exec_slot
        whole = self.size - self.size % 4
        self._words = memoryview(self._mm)[:whole].cast("i")
        self._reals = memoryview(self._mm)[:whole].cast("f")
        self._bytes = AtomicBytes(self._mm)

    def _recognise(self, model, symbols):
        signature = self._words[self._offset(g.AREA_INT, self._exec + g.SIGNATURE_FROM_EXEC) // 4]
        self.program = None
        for program, (revision, counts, expected) in g.PROGRAMS.items():
            if (revision == 1) != (self.layout_revision == 1) or tuple(counts) != self.counts:
                continue
            if signature in (0, expected):
                self.program = program
                break
        # The program as its layout, slot counts and signature show it, whatever a
        # description says: what the plant plays.
        self.recognised: Optional[str] = self.program
        table = builtin_table(self.program) if self.program else None
        if table is None:
            path = symbol_file_beside(self.pid) or symbols
            if path:
                table = read_symbol_file(path)
                if self.program is not None and table.program != self.program:
                    raise ImageError(f"symbol file {path} describes {table.program}, "
                                     f"but image \"{self.name}\" holds {self.program}")
                self.program = table.program
        if model is not None and model != self.program:
            held = self.program or f"another program (slot counts {' '.join(map(str, self.counts))}, " \
                                   f"signature {signature})"
            raise ImageError(f'image "{self.name}" holds {held}, not {model}')
        self.symbols: Optional[SymbolTable] = table
        if self.program in g.PROGRAMS:
            self.revision = g.PROGRAMS[self.program][0]
        elif table is not None and table.revision is not None and \
                (table.revision == 1) == (self.layout_revision == 1):
            self.revision = table.revision
        else:
            self.revision = self.layout_revision
        self._controls = {v.name: v for v in control_variables(self.revision, self._exec, self.counts[g.AREA_INT])}

    def close(self):
        """Unmaps the image (the image itself stays)."""
        if self._bytes is not None:
            self._bytes.release()
        for view in (self._words, self._reals):
            if view is not None:
                view.release()
        self._words = self._reals = self._bytes = None
        if self._mm is not None:
            self._mm.close()
            self._mm = None
        if self._fd >= 0:
            os.close(self._fd)
            self._fd = -1

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<qv.Image {self.name!r}: {self.program or 'unknown program'}, revision {self.revision}>"

    # ---- Slots --------------------------------------------------------------------------

    def check_size(self):
        """Raises ImageError when the image has shrunk below the mapping since it was
        mapped: touching it past its new end would kill the process."""
        if self._fd < 0:
            return
        now = os.fstat(self._fd).st_size
        if now < self.size:
            raise ImageError(f'image "{self.name}" shrank to {now} bytes while mapped (it had {self.size}); '
                             f'it is no longer read or written')

    def _offset(self, area: int, slot: int) -> int:
        self.check_size()
        if not 0 <= slot < self.counts[area]:
            raise UnknownVariable(f"{slot_name(area, slot)} lies outside the {AREA_WORDS[area]} area "
                                  f"(slots 0 to {self.counts[area] - 1})")
        return self._offsets[area] + slot * self._slot_sizes[area]

    def _int(self, slot: int) -> int:
        return self._words[self._offset(g.AREA_INT, slot) // 4]

    def _set_int(self, slot: int, value: int):
        self._words[self._offset(g.AREA_INT, slot) // 4] = value

    def _bool(self, slot: int) -> bool:
        return bool(self._mm[self._offset(g.AREA_BOOL, slot)] & g.BOOL_CURRENT)

    def _set_bool(self, slot: int, value: bool):
        at = self._offset(g.AREA_BOOL, slot)
        if value:
            self._bytes.set_bits(at, g.BOOL_CURRENT)
        else:
            self._bytes.clear_bits(at, g.BOOL_CURRENT)
