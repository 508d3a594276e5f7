"""Variables by name: read, written and forced, with the same parsing and refusals as
qvctl's."""

from __future__ import annotations

import datetime
import decimal
import math
import re
import struct
from typing import List, Optional, Tuple, Union

from . import generated as g
from .errors import RefusedWrite, UnknownVariable
from .symbols import PROGRAM_WRITTEN, SLOT_COUNT, Variable, parse_slot_name, slot_name

TICKS_PER_SECOND = 10000
TICKS_PER_DAY = 24 * 3600 * TICKS_PER_SECOND
_FLOAT_MAX = struct.unpack("<f", b"\xff\xff\x7f\x7f")[0]
_STATUS_CODES = {name: code for code, name in g.STATUS_NAMES.items()}
_DURATION = re.compile(r"(?:t#|time#)?([-+]?[0-9]*\.?[0-9]+(?:e[-+]?[0-9]+)?)(ms|s|m|h|d)")
_DURATION_UNITS = {"ms": 10, "s": 10000, "m": 600000, "h": 36000000, "d": 864000000}


class Values:
    """Reading, writing and forcing variables by name."""

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
