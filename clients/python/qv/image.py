"""A supervisor's view of a program's image: attach by name, read and write variables by
name, drive the program, force, trace, set breakpoints, and wait for conditions."""

from __future__ import annotations

import datetime
import decimal
import inspect
import math
import mmap
import os
import re
import struct
import time
from typing import Callable, Dict, List, Optional, Tuple, Union

from . import generated as g
from .atomic import AtomicBytes
from .errors import ImageError, ProgramError, RefusedWrite, UnknownVariable, WaitTimeout
from .symbols import (AREA_WORDS, PROGRAM_WRITTEN, SLOT_COUNT, SymbolTable, Variable, builtin_table,
                      control_variables, parse_slot_name, read_symbol_file, slot_name, symbol_file_beside)

TICKS_PER_SECOND = 10000
TICKS_PER_DAY = 24 * 3600 * TICKS_PER_SECOND
_FLOAT_MAX = struct.unpack("<f", b"\xff\xff\x7f\x7f")[0]
_TRACE_TABLES = (g.BOOL_TRACE_TABLE_OFFSET, g.INT_TRACE_TABLE_OFFSET, g.REAL_TRACE_TABLE_OFFSET,
                 g.CHAR_TRACE_TABLE_OFFSET)
_STATUS_CODES = {name: code for code, name in g.STATUS_NAMES.items()}
_DURATION = re.compile(r"(?:t#|time#)?([-+]?[0-9]*\.?[0-9]+(?:e[-+]?[0-9]+)?)(ms|s|m|h|d)")
_DURATION_UNITS = {"ms": 10, "s": 10000, "m": 600000, "h": 36000000, "d": 864000000}


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


class Image:
    """The image `name` (default: QV_MEMORY_NAME, else "Shared"), mapped read-write.

    The header is checked against the image's real size before anything else is read, so
    a malformed or foreign image raises ImageError instead of being trusted. The program
    is recognised as qvctl recognises it; `model` insists on a program, `symbols` names a
    symbol description to use when the program has no table of its own."""

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
        try:
            fd = os.open(f"/dev/shm/{self.name}", os.O_RDWR)
        except FileNotFoundError:
            raise ImageError(f'no image named "{self.name}"') from None
        except OSError as e:
            raise ImageError(f'cannot open image "{self.name}": {e.strerror}') from None
        try:
            self.size = os.fstat(fd).st_size
            if self.size == 0:
                raise ImageError(f'image "{self.name}" is empty')
            self._mm = mmap.mmap(fd, self.size)
        finally:
            os.close(fd)
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

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return f"<qv.Image {self.name!r}: {self.program or 'unknown program'}, revision {self.revision}>"

    # ---- Slots --------------------------------------------------------------------------

    def _offset(self, area: int, slot: int) -> int:
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

    # ---- Variables by name ----------------------------------------------------------------

    def variable(self, name: str) -> Variable:
        """A control variable, a symbol of the program, or a slot named B5, I523, F10, C3."""
        v = self._controls.get(name)
        if v is None and self.symbols is not None:
            v = self.symbols.by_name.get(name)
        if v is None:
            parsed = parse_slot_name(name)
            if parsed is not None:
                area, slot = parsed
                v = Variable(name, ("BOOL", "DINT", "REAL", "CHAR")[area], area, slot, "slot")
        if v is None:
            if self.symbols is not None:
                raise UnknownVariable(f"no variable {name} in {self.program}")
            raise UnknownVariable(f"unknown variable {name}: the image holds no program with a symbol "
                                  f"table, so name slots as B5, I523, F10 or C3")
        last = v.slot + SLOT_COUNT[v.type] - 1
        if v.slot >= self.counts[v.area] or last >= self.counts[v.area]:
            raise UnknownVariable(f"{name} lies outside the image")
        return v

    def variables(self) -> List[Variable]:
        """The program's variables, then the control variables."""
        own = list(self.symbols.variables) if self.symbols is not None else []
        return own + list(self._controls.values())

    def __getitem__(self, name: str):
        value = self.read(self.variable(name))
        if self._watched is not None:
            self._watched[name] = value
        return value

    def __setitem__(self, name: str, value):
        self.set(name, value)

    def get(self, name: str):
        return self[name]

    def read(self, v: Variable):
        """The current value: bool, int, float, seconds (float) for a TIME, str for a STRING."""
        at = self._offset(v.area, v.slot)
        if v.type == "BOOL":
            return bool(self._mm[at] & g.BOOL_CURRENT)
        if v.type == "CHAR":
            return self._mm[at]
        if v.type == "REAL":
            return self._reals[at // 4]
        if v.type == "TIME":
            days, ticks = self._int(v.slot + 2), self._int(v.slot + 3)
            return (days * TICKS_PER_DAY + ticks) / TICKS_PER_SECOND
        if v.type == "STRING":
            chars = bytearray()
            for k in range(g.TASKNAME_CAPACITY):
                c = self._mm[self._offset(g.AREA_CHAR, v.slot + 3 + k)]
                if c == 0:
                    break
                chars.append(c)
            return chars.decode("latin-1")
        return self._words[at // 4]

    def set(self, name: str, value, raw: bool = False):
        """Writes the current value, as `qvctl set` does: the program sees it at its next
        read. Control variables take only sound values, and those only the program writes
        are refused, unless `raw` is true."""
        v = self.variable(name)
        if not raw:
            self._check_control_write(v, value)
        self._write(v, self._encode(v, value))

    def raw(self, area: Union[str, int], slot: Optional[int] = None, value=None):
        """Reads (or, with a value, writes) a slot by area and index: raw("B", 12),
        raw("I523"), raw("F", 10, 20000.0). Writes go to the current value, unchecked."""
        if slot is None and isinstance(area, str):
            parsed = parse_slot_name(area)
            if parsed is None:
                raise UnknownVariable(f"{area} is not a slot name such as B5, I523, F10 or C3")
            area, slot = parsed
        if isinstance(area, str):
            if area not in ("B", "I", "F", "C"):
                raise UnknownVariable(f"area {area!r} is not B, I, F or C")
            area = "BIFC".index(area)
        v = Variable(slot_name(area, slot), ("BOOL", "DINT", "REAL", "CHAR")[area], area, slot, "slot")
        self._offset(area, slot)
        if value is None:
            return self.read(v)
        self._write(v, self._encode(v, value))
        return None

    def _check_control_write(self, v: Variable, value):
        if v.role != "control":
            return
        if v.name in PROGRAM_WRITTEN:
            raise RefusedWrite(f"{v.name} is written by the program; pass raw=True to write it anyway")
        if v.name == "execstatus":
            code = _STATUS_CODES.get(value, value) if isinstance(value, str) else value
            if isinstance(code, bool) or not isinstance(code, int) or code not in g.STATUS_NAMES:
                raise RefusedWrite(f"execstatus takes FREE, STOP, RUN, STEP, END or PAUSE (0 to 5), not {value!r}")
        if v.name == "simuperiod":
            if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value) \
                    or not 0 < value < 2**32:
                raise RefusedWrite(f"simuperiod takes a period in microseconds above 0 and below 2^32, "
                                   f"not {value!r}")
        if v.name == "bpnoline" and (not isinstance(value, int) or not 0 <= value <= g.MAX_LOCATION_BREAKPOINTS):
            raise RefusedWrite(f"bpnoline counts 0 to {g.MAX_LOCATION_BREAKPOINTS} location breakpoints, "
                               f"not {value!r}")

    def _encode(self, v: Variable, value):
        """The words (or the byte) to write for a value; RefusedWrite when it does not fit."""
        def refuse(what):
            return RefusedWrite(f"{v.name} is a {v.type}: give {what}, not {value!r}")

        if v.type == "BOOL":
            if isinstance(value, str) and value.upper() in ("TRUE", "FALSE"):
                return [1 if value.upper() == "TRUE" else 0]
            if isinstance(value, bool) or (isinstance(value, int) and value in (0, 1)):
                return [int(value)]
            raise refuse("True or False")
        if v.type == "DINT":
            if v.name == "execstatus" and isinstance(value, str) and value in _STATUS_CODES:
                return [_STATUS_CODES[value]]
            if isinstance(value, bool) or not isinstance(value, int) or not -2**31 <= value < 2**31:
                raise refuse("a whole number from -2147483648 to 2147483647")
            return [value]
        if v.type == "REAL":
            if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value) \
                    or abs(value) > _FLOAT_MAX:
                raise refuse("a finite number within +-3.4e38")
            return [float(value)]
        if v.type == "CHAR":
            if isinstance(value, str) and len(value) == 1 and ord(value) < 256:
                return [ord(value)]
            if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value <= 255:
                raise refuse("one character or a code from 0 to 255")
            return [value]
        if v.type == "TIME":
            ticks = _duration_ticks(value)
            if ticks is None:
                raise refuse("a duration: seconds, a timedelta, or text such as 2.5s, 250ms or T#10s")
            sign = -1 if ticks < 0 else 1
            days, rest = divmod(abs(ticks), TICKS_PER_DAY)
            return [sign * days, sign * rest]
        raise RefusedWrite(f"{v.name} is a STRING; the client does not write strings")

    def _write(self, v: Variable, words):
        if v.type == "BOOL":
            self._set_bool(v.slot, words[0])
        elif v.type == "CHAR":
            self._bytes.store(self._offset(v.area, v.slot), words[0])
        elif v.type == "REAL":
            self._reals[self._offset(v.area, v.slot) // 4] = words[0]
        elif v.type == "TIME":
            self._set_int(v.slot + 2, words[0])
            self._set_int(v.slot + 3, words[1])
        else:
            self._set_int(v.slot, words[0])

    # ---- Forcing --------------------------------------------------------------------------

    def _forced_flag(self, area: int) -> Tuple[int, int]:
        if self.revision == 1:
            return ((0, g.R1_BOOL_FORCED), (g.R1_INT_FLAGS_OFFSET, g.R1_INT_FORCED),
                    (g.R1_REAL_FLAGS_OFFSET, g.R1_FORCED), (g.R1_CHAR_FLAGS_OFFSET, g.R1_FORCED))[area]
        return ((0, g.BOOL_FORCED), (g.INT_FLAGS_OFFSET, g.INT_FORCED),
                (g.INT_FLAGS_OFFSET, g.INT_FORCED), (g.CHAR_FLAGS_OFFSET, g.CHAR_FORCED))[area]

    def _value_slots(self, v: Variable) -> List[int]:
        if v.type == "STRING":
            raise RefusedWrite(f"{v.name} is a STRING; strings are not forced or traced")
        return [v.slot + 2, v.slot + 3] if v.type == "TIME" else [v.slot]

    def force(self, name: str, value):
        """Pins a variable to a value: the program's posting keeps it whatever the model
        computes, until unforce()."""
        v = self.variable(name)
        words = self._encode(v, value)
        for slot, word in zip(self._value_slots(v), words):
            at = self._offset(v.area, slot)
            flag_at, flag = self._forced_flag(v.area)
            if v.area == g.AREA_BOOL:
                bits = g.BOOL_CURRENT | g.BOOL_OLD if word else 0
                self._bytes.update(at, lambda b: (b & ~(g.BOOL_CURRENT | g.BOOL_OLD)) | bits | flag)
                continue
            # Revisions 2 and 3 raise the flag first, so that a post in between copies a
            # value about to be overwritten; revision 1 writes the old value first, which
            # its freeze copies back once the flag is up.
            if self.revision != 1:
                self._bytes.set_bits(at + flag_at, flag)
            if v.area == g.AREA_CHAR:
                old_at = at + g.CHAR_OLD_OFFSET
                for target in ((at, old_at) if self.revision != 1 else (old_at, at)):
                    self._bytes.store(target, word)
            else:
                view = self._reals if v.area == g.AREA_REAL else self._words
                order = (0, 1) if self.revision != 1 else (1, 0)
                for k in order:
                    view[at // 4 + k] = word
            if self.revision == 1:
                self._bytes.set_bits(at + flag_at, flag)

    def unforce(self, name: str):
        """Releases a forced variable; it keeps its value until the program writes it."""
        v = self.variable(name)
        for slot in self._value_slots(v):
            flag_at, flag = self._forced_flag(v.area)
            self._bytes.clear_bits(self._offset(v.area, slot) + flag_at, flag)

    def forced(self, name: str) -> bool:
        v = self.variable(name)
        flag_at, flag = self._forced_flag(v.area)
        return bool(self._mm[self._offset(v.area, self._value_slots(v)[0]) + flag_at] & flag)

    # ---- Execution status ------------------------------------------------------------------

    @property
    def status_code(self) -> int:
        return self._int(self._exec)

    @property
    def status(self) -> str:
        """"STOP", "RUN", ... (the number for a code outside 0..5)."""
        return status_name(self.status_code)

    @property
    def acknowledged(self) -> str:
        """The status the program saw last."""
        return status_name(self._words[self._offset(g.AREA_INT, self._exec) // 4 + 1])

    @property
    def cycle(self) -> int:
        return self._int(self.counts[g.AREA_INT] - g.SIMU_COUNTER_FROM_END)

    @property
    def pid(self) -> int:
        return self._int(self.counts[g.AREA_INT] - g.POSPID_FROM_END)

    @property
    def alive(self) -> bool:
        """True while a program runs on the image (its process slot names a live process)."""
        return _process_alive(self.pid)

    @property
    def period(self) -> float:
        """The cycle period in microseconds (simuperiod)."""
        return self["simuperiod"]

    @period.setter
    def period(self, microseconds: float):
        self.set("simuperiod", microseconds)

    @property
    def paused_at(self) -> Optional[Tuple[int, int]]:
        """(location, instance) while paused at a location breakpoint, else None."""
        if self.status_code != g.STATUS_PAUSE:
            return None
        return (self._int(self._exec + g.BPCURRENTLOCATION_FROM_EXEC),
                self._int(self._exec + g.BPCURRENTINSTANCE_FROM_EXEC))

    def _need_program(self):
        if not self.alive:
            raise ProgramError(f'no program runs on image "{self.name}"{self._more()}')

    def _write_status(self, code: int, timeout: float):
        self._need_program()
        cycle = self.cycle
        self._set_int(self._exec, code)
        ack = lambda: self._words[self._offset(g.AREA_INT, self._exec) // 4 + 1]  # noqa: E731
        deadline = time.monotonic() + timeout
        while not (ack() == code or self.status_code != code or (code == g.STATUS_RUN and self.cycle != cycle)
                   or not self.alive):
            if time.monotonic() > deadline:
                raise ProgramError(f"the program did not take {status_name(code)} within {timeout} s{self._more()}")
            time.sleep(0.001)

    def run(self, timeout: float = 5.0):
        """Runs cycles continuously; a stepped image stays in STOP and lets wait_until()
        and wait_cycles() step the cycles."""
        if self.stepped:
            self._need_program()
            self._running = True
            return
        self._write_status(g.STATUS_RUN, timeout)

    def stop(self, timeout: float = 5.0):
        """Stops the program between two cycles."""
        self._running = False
        self._write_status(g.STATUS_STOP, timeout)

    def step(self, n: int = 1, timeout: Optional[float] = None) -> str:
        """Runs n cycles one STEP at a time (a plant stepped with the program moves after
        each), or goes on to the next location breakpoint. Returns "STOP", or "PAUSE" when
        a breakpoint paused the program."""
        if isinstance(n, bool) or not isinstance(n, int) or n < 1:
            raise ValueError(f"step takes a number of cycles of at least 1, not {n!r}")
        self._need_program()
        if timeout is None:
            timeout = 5.0 + 3 * self._period_seconds()
        for _ in range(n):
            outcome = self._step_once(timeout)
            if outcome == "PAUSE":
                return outcome
            if self.plant is not None:
                self.plant.step(self._period_seconds())
        return "STOP"

    def _step_once(self, timeout: float) -> str:
        cycle = self.cycle
        self._set_int(self._exec, g.STATUS_STEP)
        deadline = time.monotonic() + timeout
        ack_at = self._offset(g.AREA_INT, self._exec) // 4 + 1
        while True:
            status, ack = self.status_code, self._words[ack_at]
            if status == g.STATUS_PAUSE and ack == g.STATUS_PAUSE:
                return "PAUSE"
            # A step is over once the program has acknowledged STOP after the counter moved:
            # it idles then, and the next STEP is a change it sees.
            if status == g.STATUS_STOP and ack == g.STATUS_STOP and self.cycle != cycle:
                return "STOP"
            if self.pid == 0 or not self.alive:
                raise ProgramError(f"the program ended during a step{self._more()}")
            if time.monotonic() > deadline:
                raise ProgramError(f"the program did not finish a step within {timeout:.1f} s{self._more()}")
            time.sleep(0.0002)

    def end(self, timeout: float = 10.0):
        """Ends the program and waits until it has left."""
        self._running = False
        self._need_program()
        self._set_int(self._exec, g.STATUS_END)
        deadline = time.monotonic() + timeout + self._period_seconds()
        while self.pid != 0 and self.alive:
            if time.monotonic() > deadline:
                raise ProgramError(f"the program did not end within {timeout} s{self._more()}")
            # A program still starting up writes its starting status over END: say it again.
            if self._int(self._exec) == g.STATUS_STOP:
                self._set_int(self._exec, g.STATUS_END)
            time.sleep(0.001)

    def _period_seconds(self) -> float:
        us = self._reals[self._offset(g.AREA_REAL, g.SIMUPERIOD_SLOT) // 4]
        return us / 1e6 if math.isfinite(us) and 0 < us <= 1e8 else 0.05

    # ---- Waiting ----------------------------------------------------------------------------

    def wait_until(self, predicate: Union[str, Callable[["Image"], object]], timeout: float = 60.0,
                   cycles: Optional[int] = None, what: Optional[str] = None) -> int:
        """Waits until `predicate(image)` is true (or the boolean named by a string is),
        at most `timeout` seconds of wall time and, if given, `cycles` program cycles.
        Returns the cycle at which it held. On failure raises WaitTimeout naming the
        variables the predicate read and their last values.

        On a stepped image (qv.start(stepped=True), or a plant at speed "max") the program
        runs one STEP at a time and the predicate is checked after every cycle, so waits
        are exact to the cycle. Otherwise it is polled while the program runs: a state that
        lasts a few cycles may pass unseen, and at speed "max" many cycles pass between
        two looks."""
        if isinstance(predicate, str):
            name = predicate
            self.variable(name)
            check = lambda image: image[name]  # noqa: E731
            what = what or name
        else:
            check = predicate
            what = what or _describe(predicate)
        watched: Dict[str, object] = {}
        first = self.cycle
        started = time.monotonic()

        def holds() -> bool:
            self._watched = watched
            try:
                return bool(check(self))
            finally:
                self._watched = None

        while True:
            if holds():
                return self.cycle
            now_cycle = self.cycle
            reason = None
            if cycles is not None and now_cycle - first >= cycles:
                reason = f"within {cycles} cycles"
            elif time.monotonic() - started > timeout:
                reason = f"within {timeout:g} s"
            elif not self.alive:
                reason = "before the program ended"
            elif self.stepped and not self._running:
                reason = "while the program stands still (a stepped image moves only after run())"
            if reason:
                raise WaitTimeout(self._wait_failure(what, reason, first, started, watched))
            if self.stepped and self._running:
                if self.step() == "PAUSE":
                    raise WaitTimeout(self._wait_failure(what, "before a breakpoint paused the program",
                                                         first, started, watched))
            else:
                time.sleep(0.0005)

    def wait_cycles(self, n: int, timeout: float = 60.0) -> int:
        """Lets n cycles pass; returns the cycle counter."""
        first = self.cycle
        return self.wait_until(lambda image: image.cycle - first >= n, timeout=timeout,
                               what=f"{n} cycles to pass")

    def _wait_failure(self, what, reason, first, started, watched) -> str:
        values = ", ".join(f"{k} = {_show(v)}" for k, v in watched.items()) or "(no variable read)"
        lines = [f"{what}: not true {reason} (cycles {first} to {self.cycle}, "
                 f"{time.monotonic() - started:.2f} s of wall time)",
                 f"  last values: {values}",
                 f"  program: {self.program or 'unknown'} on image {self.name}, status {self.status}, "
                 f"cycle {self.cycle}"]
        return "\n".join(lines) + self._more()

    def _more(self) -> str:
        if self.context is None:
            return ""
        try:
            text = self.context()
        except Exception as e:  # the context is a courtesy; never hide the real failure
            text = f"(no more context: {e})"
        return "\n" + text if text else ""

    # ---- Trace ----------------------------------------------------------------------------------

    def _table(self, offset: int) -> int:
        if not self._layout[5]:
            raise ImageError("revision 1 images have no index tables")
        return offset // 4

    def _table_entries(self, offset: int) -> List[int]:
        at = self._table(offset)
        entries = []
        for p in range(g.INDEX_TABLE_LENGTH):
            entry = self._words[at + p]
            if entry == 0:
                break
            entries.append(entry)
        return entries

    def _table_add(self, offset: int, index: int) -> bool:
        at = self._table(offset)
        for p in range(g.INDEX_TABLE_LENGTH):
            entry = self._words[at + p]
            if entry == index:
                return False
            if entry == 0:
                self._words[at + p] = index
                return True
        raise QvFull(f"the table is full; slot {index} was not added")

    def _table_remove(self, offset: int, index: int) -> bool:
        at = self._table(offset)
        entries = [self._words[at + p] for p in range(g.INDEX_TABLE_LENGTH)]
        if index not in entries:
            return False
        for p in range(entries.index(index), g.INDEX_TABLE_LENGTH - 1):
            self._words[at + p] = self._words[at + p + 1]
        self._words[at + g.INDEX_TABLE_LENGTH - 1] = 0
        return True

    def _r1_traced_flag(self, area: int) -> Tuple[int, int]:
        return ((0, g.R1_BOOL_TRACED), (g.R1_INT_TRACED_OFFSET, 0xFF),
                (g.R1_REAL_FLAGS_OFFSET, g.R1_TRACED), (g.R1_CHAR_FLAGS_OFFSET, g.R1_TRACED))[area]

    def _listable(self, v: Variable) -> List[int]:
        slots = self._value_slots(v)
        if self.revision != 1 and 0 in slots:
            raise RefusedWrite(f"{v.name} is slot 0 of its area, which no index table can hold (0 ends a table)")
        return slots

    def _trace_change(self, names, on: bool):
        variables = [self.variable(n) for n in names]
        slots = [(v, self._listable(v)) for v in variables]
        changed = False
        for v, value_slots in slots:
            for slot in value_slots:
                if self.revision == 1:
                    flag_at, bit = self._r1_traced_flag(v.area)
                    at = self._offset(v.area, slot) + flag_at
                    if bit == 0xFF:  # an integer's traced byte: any non-zero value
                        self._bytes.store(at, 1 if on else 0)
                    elif on:
                        self._bytes.set_bits(at, bit)
                    else:
                        self._bytes.clear_bits(at, bit)
                    changed = True
                elif on:
                    changed |= self._table_add(_TRACE_TABLES[v.area], slot)
                else:
                    changed |= self._table_remove(_TRACE_TABLES[v.area], slot)
        # Revision 3 writes every traced value once when the list changes.
        if changed and self.revision == 3:
            self._set_bool(g.TRACESNAPSHOP_SLOT, True)

    def trace_add(self, *names: str):
        """Adds variables to the trace file's list (a TIME by its days and ticks slots)."""
        self._trace_change(names, True)

    def trace_remove(self, *names: str):
        self._trace_change(names, False)

    def traced(self) -> List[str]:
        """The traced slots, by the name they are best known under."""
        names = []
        for area in range(g.AREA_COUNT):
            if self.revision == 1:
                flag_at, bit = self._r1_traced_flag(area)
                slots = [s for s in range(self.counts[area])
                         if self._mm[self._offset(area, s) + flag_at] & bit]
            else:
                slots = self._table_entries(_TRACE_TABLES[area])
            names += [self.name_of_slot(area, s) for s in slots]
        return names

    def trace_on(self):
        self._set_bool(g.TRACEON_SLOT, True)

    def trace_off(self):
        self._set_bool(g.TRACEON_SLOT, False)

    def trace_reset(self):
        """Restarts the trace file."""
        self._set_bool(g.RESETTRACE_SLOT, True)

    def trace_snapshot(self):
        """Asks for one line per traced variable (revision 3)."""
        if self.revision != 3:
            raise RefusedWrite(f"a program of revision {self.revision} writes no snapshots")
        self._set_bool(g.TRACESNAPSHOP_SLOT, True)

    def name_of_slot(self, area: int, slot: int) -> str:
        if self.symbols is not None:
            for v in self.symbols.variables:
                if v.area == area and v.slot <= slot < v.slot + SLOT_COUNT[v.type]:
                    return v.name
        for v in self._controls.values():
            if v.area == area and v.slot == slot:
                return v.name
        return slot_name(area, slot)

    # ---- Breakpoints --------------------------------------------------------------------------

    def add_breakpoint(self, what: Union[str, int], instance: Optional[int] = None):
        """A data breakpoint on a boolean (add_breakpoint("EtatS")): the program stops after
        a cycle in which it changed. Or a location breakpoint (add_breakpoint(20, 1)): the
        program pauses at that location of that instance. Or a grafcet step by name
        (add_breakpoint("Verin_GX._X_21"), add_breakpoint("Verin_GX", 21), "_X_21" in a
        program of one model): the program pauses as the step becomes active."""
        step = self._step(what, instance)
        if step is not None:
            self._location_breakpoint(*step, True)
            return
        if instance is not None:
            self._location_breakpoint(what, instance, True)
            return
        v = self._data_breakpoint_variable(what)
        if self.revision == 1:
            self._bytes.set_bits(self._offset(g.AREA_BOOL, v.slot) + 1, g.R1_BOOL_DATA_BREAKPOINT)
        else:
            self._table_add(g.BOOL_BREAKPOINT_TABLE_OFFSET, v.slot)

    def remove_breakpoint(self, what: Union[str, int], instance: Optional[int] = None):
        step = self._step(what, instance)
        if step is not None:
            self._location_breakpoint(*step, False)
            return
        if instance is not None:
            self._location_breakpoint(what, instance, False)
            return
        v = self._data_breakpoint_variable(what)
        if self.revision == 1:
            self._bytes.clear_bits(self._offset(g.AREA_BOOL, v.slot) + 1, g.R1_BOOL_DATA_BREAKPOINT)
        else:
            self._table_remove(g.BOOL_BREAKPOINT_TABLE_OFFSET, v.slot)

    def breakpoints(self) -> Dict[str, list]:
        """{"data": [boolean names], "location": [(location, instance), ...]}."""
        if self.revision == 1:
            data = [s for s in range(self.counts[g.AREA_BOOL])
                    if self._mm[self._offset(g.AREA_BOOL, s) + 1] & g.R1_BOOL_DATA_BREAKPOINT]
        else:
            data = self._table_entries(g.BOOL_BREAKPOINT_TABLE_OFFSET)
        pairs = [p for p in (self._pair(k) for k in range(1, self._pair_count() + 1)) if p != (0, 0)]
        return {"data": [self.name_of_slot(g.AREA_BOOL, s) for s in data], "location": pairs}

    def _step(self, what, number) -> Optional[Tuple[int, int]]:
        """(location, instance) of the step that `what` names ("Verin_GX._X_21", "_X_21",
        or "Verin_GX" with number 21), None when `what` does not name a step at all."""
        if not isinstance(what, str):
            return None
        instances = g.STEP_INSTANCES.get(self.program, {})
        if number is not None:
            if isinstance(number, bool) or not isinstance(number, int) or number < 1:
                return None
            if not instances:
                raise RefusedWrite("the image holds no program whose instances the client knows; "
                                   "give a location and an instance number")
            name = "" if what == self.program and "" in instances else what
            if name not in instances:
                raise RefusedWrite(f"no instance {what} with steps in {self.program}")
            step = f"{name}._X_{number}" if name else f"_X_{number}"
            if not self.symbols or step not in self.symbols.by_name:
                raise RefusedWrite(f"{what} has no step {number} (the _X_ variables are the steps)")
            return (number, instances[name])
        found = re.fullmatch(r"(?:(.+)\.)?_X_([0-9]+)", what)
        if found is None or int(found.group(2)) < 1:
            return None
        name = found.group(1) or ""
        if name not in instances:
            if not instances or self.symbols is None:
                return None
            raise RefusedWrite(f"no instance {name or '(top model)'} with steps in {self.program}")
        if what not in self.symbols.by_name:
            raise RefusedWrite(f"{what} is not a step of {self.program} (the _X_ variables are the steps)")
        return (int(found.group(2)), instances[name])

    def _data_breakpoint_variable(self, name: str) -> Variable:
        v = self.variable(name)
        if v.type != "BOOL":
            raise RefusedWrite(f"data breakpoints watch booleans; {v.name} is a {v.type}")
        self._listable(v)
        return v

    def _pair_count(self) -> int:
        return min(max(self._int(self._exec + g.BPNOLINE_FROM_EXEC), 0), g.MAX_LOCATION_BREAKPOINTS)

    def _pair(self, k: int) -> Tuple[int, int]:
        return (self._int(self._exec + g.BPNOLINE_FROM_EXEC + k), self._int(self._exec + g.BPNOINSTANCE_FROM_EXEC + k))

    def _set_pair(self, k: int, pair: Tuple[int, int]):
        # While a place is written its instance is 0, which no instance number matches.
        self._set_int(self._exec + g.BPNOINSTANCE_FROM_EXEC + k, 0)
        self._set_int(self._exec + g.BPNOLINE_FROM_EXEC + k, pair[0])
        self._set_int(self._exec + g.BPNOINSTANCE_FROM_EXEC + k, pair[1])

    def _location_breakpoint(self, location: int, instance: int, adding: bool):
        for value in (location, instance):
            if isinstance(value, bool) or not isinstance(value, int) or not -2**31 <= value < 2**31:
                raise RefusedWrite("a location breakpoint is two whole numbers, a location and an instance")
        if instance < 1:
            raise RefusedWrite("instance numbers start at 1 (the top model)")
        pair, n = (location, instance), self._pair_count()
        places = [self._pair(k) for k in range(1, n + 1)]
        count_at = self._exec + g.BPNOLINE_FROM_EXEC
        if adding:
            if pair in places:
                return
            free = places.index((0, 0)) + 1 if (0, 0) in places else n + 1
            if free > g.MAX_LOCATION_BREAKPOINTS:
                raise RefusedWrite(f"the location breakpoint list is full ({g.MAX_LOCATION_BREAKPOINTS} pairs)")
            self._set_pair(free, pair)
            if free > n:  # the count last, so the program never counts a place being written
                self._set_int(count_at, free)
            return
        if pair not in places:
            return
        for k in range(places.index(pair) + 1, n):
            self._set_pair(k, self._pair(k + 1))
        self._set_pair(n, (0, 0))
        self._set_int(count_at, n - 1)


class QvFull(RefusedWrite):
    """An index table with no room left."""


def _duration_ticks(value) -> Optional[int]:
    """A duration in ticks, exactly and rounded half away from zero, as qvctl reads it."""
    with decimal.localcontext() as exact:
        exact.prec = 60
        if isinstance(value, datetime.timedelta):
            ticks = (decimal.Decimal(value.days * 86400 + value.seconds) * TICKS_PER_SECOND
                     + decimal.Decimal(value.microseconds) / 100)
        elif isinstance(value, str):
            m = _DURATION.fullmatch(value.strip().lower())
            if not m:
                return None
            ticks = decimal.Decimal(m.group(1)) * _DURATION_UNITS[m.group(2)]
        elif isinstance(value, (int, float)) and not isinstance(value, bool):
            if not math.isfinite(value):
                return None
            ticks = decimal.Decimal(value) * TICKS_PER_SECOND
        else:
            return None
        whole = int(ticks.to_integral_value(rounding=decimal.ROUND_HALF_UP))
    return whole if abs(whole) < (2**31 - 1) * TICKS_PER_DAY else None


def _show(value) -> str:
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    return repr(value)


def _describe(predicate) -> str:
    """The predicate's own source text when it is a one-line lambda, else its name."""
    try:
        source = inspect.getsource(predicate).strip()
    except (OSError, TypeError):
        return getattr(predicate, "__name__", "the condition")
    if "lambda" in source and "\n" not in source:
        body = source[source.index("lambda"):]
        depth, end = 0, len(body)
        for k, c in enumerate(body):
            depth += c in "([{"
            depth -= c in ")]}"
            if depth < 0 or (depth == 0 and c == "," and k > body.index(":")):
                end = k
                break
        return body[:end].strip()
    return getattr(predicate, "__name__", "the condition")
