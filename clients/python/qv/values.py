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
from .symbols import PROGRAM_WRITTEN, Variable, parse_slot_name, slot_name, some_names

TICKS_PER_SECOND = 10000
TICKS_PER_DAY = 24 * 3600 * TICKS_PER_SECOND
_FLOAT_MAX = struct.unpack("<f", b"\xff\xff\x7f\x7f")[0]
_STATUS_CODES = {name: code for code, name in g.STATUS_NAMES.items()}
_DURATION = re.compile(r"(?:t#|time#)?([-+]?[0-9]*\.?[0-9]+(?:e[-+]?[0-9]+)?)(ms|s|m|h|d)")
_DURATION_UNITS = {"ms": 10, "s": 10000, "m": 600000, "h": 36000000, "d": 864000000}
# T#1h2m3.5s: units from the largest down, each once, only the last with a fraction.
_COMPOUND = re.compile(r"(?:t#|time#)?([-+]?)((?:_?[0-9]+d)?(?:_?[0-9]+h)?(?:_?[0-9]+m(?!s))?(?:_?[0-9]+s)?"
                       r"(?:_?[0-9]+ms)?(?:_?[0-9]+\.[0-9]+(?:d|h|ms|m|s))?)")
_PART = re.compile(r"_?([0-9]+(?:\.[0-9]+)?)(ms|d|h|m|s)")
# Day numbers count from 1970-01-01 (day 0), as qvctl prints them.
_EPOCH = datetime.date(1970, 1, 1)
_WHOLE_RANGES = {"SINT": (-128, 127), "INT": (-32768, 32767), "DINT": (-2**31, 2**31 - 1),
                 "BYTE": (0, 255), "WORD": (0, 65535), "DWORD": (0, 2**32 - 1)}
_HEX_DIGITS = {"BYTE": 2, "WORD": 4, "DWORD": 8}
_IEC_WHOLE = re.compile(r"(?:(?:sint|int|dint|byte|word|dword|usint|uint|udint)#)?"
                        r"(?:([-+]?)([0-9](?:_?[0-9])*)|(16#[0-9a-f](?:_?[0-9a-f])*)|(8#[0-7](?:_?[0-7])*)"
                        r"|(2#[01](?:_?[01])*))")


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
        if v is None and self.symbols is not None:
            # A name that is no variable may be the end of one full path ("Main.Fill.X").
            found = self.symbols.by_short_path(name)
            if len(found) > 1:
                raise UnknownVariable(f"{name} is ambiguous: {some_names([f.name for f in found])}")
            v = found[0] if found else None
        if v is None:
            if self.symbols is not None:
                raise UnknownVariable(f"no variable {name} in {self.program}")
            raise UnknownVariable(f"unknown variable {name}: the image holds no program with a symbol "
                                  f"table, so name slots as B5, I523, F10 or C3")
        last = v.slot + v.span - 1
        if v.slot >= self.counts[v.area] or last >= self.counts[v.area]:
            raise UnknownVariable(f"{name} lies outside the image")
        return v

    def _control_at(self, v: Variable) -> Optional[str]:
        """The control variable whose first slot `v` starts at, whatever its name: its
        writes are checked alike (I311 is execstatus in revisions 2 and 3)."""
        if v.role == "control":
            return v.name
        for c in self._controls.values():
            if c.area == v.area and c.slot == v.slot:
                return c.name
        return None

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
        """The current value: bool; int for the integer and bit-string types; float; seconds
        (float) for a TIME; datetime.date, datetime.time and datetime.datetime for DATE,
        TIME_OF_DAY and DATE_AND_TIME; the value's name (str) for an ENUM (its number when it
        names none); str for a STRING."""
        at = self._offset(v.area, v.slot)
        if v.type in _WHOLE_RANGES:
            return _whole_of(v.type, self._words[at // 4])
        if v.type == "ENUM":
            value = self._words[at // 4]
            named = v.enum.by_value(value) if v.enum is not None else None
            return named if named is not None else value
        if v.type == "DATE":
            return _EPOCH + datetime.timedelta(days=self._int(v.slot + 2))
        if v.type == "TIME_OF_DAY":
            return _time_of_day(self._int(v.slot + 2))
        if v.type == "DATE_AND_TIME":
            days, ticks = self._int(v.slot + 2), self._int(v.slot + 3)
            return datetime.datetime.combine(_EPOCH + datetime.timedelta(days=days), datetime.time()) \
                + datetime.timedelta(microseconds=ticks * 100)
        if v.type == "STRING" and v.length:
            chars = bytearray()
            for k in range(v.length):
                c = self._mm[self._offset(g.AREA_CHAR, v.slot + 3 + k)]
                if c == 0:
                    break
                chars.append(c)
            return chars.decode("latin-1")
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
        control = self._control_at(v)
        if control is None:
            return
        if control in PROGRAM_WRITTEN:
            raise RefusedWrite(f"{v.name} is written by the program; pass raw=True to write it anyway")
        if control == "execstatus":
            code = _STATUS_CODES.get(value, value) if isinstance(value, str) else value
            if isinstance(code, bool) or not isinstance(code, int) or code not in g.STATUS_NAMES:
                raise RefusedWrite(f"{v.name} takes FREE, STOP, RUN, STEP, END or PAUSE (0 to 5), not {value!r}")
        if control == "simuperiod":
            if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value) \
                    or not 0 < value < 2**32:
                raise RefusedWrite(f"{v.name} takes a period in microseconds above 0 and below 2^32, "
                                   f"not {value!r}")
        if control == "bpnoline" and (not isinstance(value, int) or not 0 <= value <= g.MAX_LOCATION_BREAKPOINTS):
            raise RefusedWrite(f"bpnoline counts 0 to {g.MAX_LOCATION_BREAKPOINTS} location breakpoints, "
                               f"not {value!r}")

    def _encode(self, v: Variable, value):
        """The words (or the byte) to write for a value; RefusedWrite when it does not fit."""
        def refuse(what):
            return RefusedWrite(f"{v.name} is {_article(v.type)}: give {what}, not {value!r}")

        if v.type == "BOOL":
            if isinstance(value, str) and value.upper() in ("TRUE", "FALSE"):
                return [1 if value.upper() == "TRUE" else 0]
            if isinstance(value, bool) or (isinstance(value, int) and value in (0, 1)):
                return [int(value)]
            raise refuse("True or False")
        if v.type == "DINT":
            if self._control_at(v) == "execstatus" and isinstance(value, str) and value in _STATUS_CODES:
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
        if v.type in _WHOLE_RANGES:
            low, high = _WHOLE_RANGES[v.type]
            number = _iec_whole(value) if isinstance(value, str) else value
            if isinstance(number, bool) or not isinstance(number, int) or not low <= number <= high:
                hexes = (f" (or {_hex(v.type, 0)} to {_hex(v.type, high)})" if v.type in _HEX_DIGITS else "")
                raise refuse(f"a whole number from {low} to {high}{hexes}")
            return [number - 2**32 if number >= 2**31 else number]
        if v.type == "ENUM":
            number = None
            if isinstance(value, str) and v.enum is not None:
                text = value.split("#", 1)[1] if "#" in value and value.split("#", 1)[0].lower() == v.enum.name.lower() \
                    else value
                number = v.enum.by_name(text)
            elif isinstance(value, int) and not isinstance(value, bool) and v.enum is not None \
                    and v.enum.by_value(value) is not None:
                number = value
            if number is None:
                names = ", ".join(n for n, _ in v.enum.values) if v.enum is not None else "its names"
                raise RefusedWrite(f"{v.name} is {_article(v.enum.name if v.enum else 'ENUM')}: give one of {names}, "
                                   f"not {value!r}")
            return [number]
        if v.type == "TIME":
            if isinstance(value, (int, float)) and not isinstance(value, bool):
                raise RefusedWrite(f"{v.name} is a TIME: a number needs a unit, as in T#{value}s or {value}s "
                                   f"(or a timedelta), not {value!r}")
            ticks = _duration_ticks(value)
            if ticks is None:
                raise refuse("a duration: a timedelta, or text such as 2.5s, 250ms, T#10s or T#1h2m3.5s")
            sign = -1 if ticks < 0 else 1
            days, rest = divmod(abs(ticks), TICKS_PER_DAY)
            return [sign * days, sign * rest]
        if v.type == "DATE":
            day = _date_of(value)
            if day is None:
                raise refuse("a datetime.date or a date from D#0001-01-01 to D#9999-12-31, such as D#2024-01-31")
            return [(day - _EPOCH).days]
        if v.type == "TIME_OF_DAY":
            ticks = _tod_ticks(value)
            if ticks is None:
                raise refuse("a datetime.time or a time from TOD#00:00:00 to TOD#23:59:59.9999, such as "
                             "TOD#12:00:00.5")
            return [ticks]
        if v.type == "DATE_AND_TIME":
            stamp = _date_and_time_of(value)
            if stamp is None:
                raise refuse("a datetime.datetime or a date and a time such as DT#2024-01-31-12:00:00")
            day, ticks = stamp
            return [(day - _EPOCH).days, ticks]
        if v.type == "STRING" and v.length:
            text = _string_text(value)
            if text is None or "\0" in text or len(text) > v.length:
                raise RefusedWrite(f"{v.name} is a STRING[{v.length}]: give at most {v.length} characters "
                                   f"(text, or 'text' with $ escapes), not {value!r}")
            data = text.encode("latin-1")
            return list(data) + [0] * (v.length - len(data))
        raise RefusedWrite(f"{v.name} is a STRING; the client does not write strings")

    def _write(self, v: Variable, words):
        if v.type == "BOOL":
            self._set_bool(v.slot, words[0])
        elif v.type == "CHAR":
            self._bytes.store(self._offset(v.area, v.slot), words[0])
        elif v.type == "REAL":
            self._reals[self._offset(v.area, v.slot) // 4] = words[0]
        elif v.type in ("TIME", "DATE_AND_TIME"):
            self._set_int(v.slot + 2, words[0])
            self._set_int(v.slot + 3, words[1])
        elif v.type in ("DATE", "TIME_OF_DAY"):
            self._set_int(v.slot + 2, words[0])
        elif v.type == "STRING":
            for k, byte in enumerate(words):
                self._bytes.store(self._offset(g.AREA_CHAR, v.slot + 3 + k), byte)
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
        if v.type in ("TIME", "DATE_AND_TIME"):
            return [v.slot + 2, v.slot + 3]
        return [v.slot + 2] if v.type in ("DATE", "TIME_OF_DAY") else [v.slot]

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
            text = value.strip().lower()
            m = _DURATION.fullmatch(text)
            if m:
                ticks = decimal.Decimal(m.group(1)) * _DURATION_UNITS[m.group(2)]
            else:
                m = _COMPOUND.fullmatch(text)
                if not m or not m.group(2):
                    return None
                ticks = sum(decimal.Decimal(n) * _DURATION_UNITS[u] for n, u in _PART.findall(m.group(2)))
                if m.group(1) == "-":
                    ticks = -ticks
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


def _article(name: str) -> str:
    """"a DINT", "an INT": the article a type's name is said with."""
    return ("an " if name[:1].upper() in "AEIOU" and name else "a ") + name


def _iec_whole(text: str) -> Optional[int]:
    """A whole number as IEC writes it (-5, 16#FF, 2#1010_0101, INT#7); None otherwise."""
    m = _IEC_WHOLE.fullmatch(text.strip().lower())
    if not m:
        return None
    if m.group(2) is not None:
        return int(m.group(1) + m.group(2).replace("_", ""))
    based = m.group(3) or m.group(4) or m.group(5)
    base, digits = based.split("#")
    return int(digits.replace("_", ""), int(base))


def _whole_of(type_: str, word: int) -> int:
    """The value the library holds in a slot's word: only the type's low bits count."""
    if type_ == "SINT":
        return (word + 128) % 256 - 128
    if type_ == "INT":
        return (word + 32768) % 65536 - 32768
    if type_ == "BYTE":
        return word & 0xFF
    if type_ == "WORD":
        return word & 0xFFFF
    if type_ == "DWORD":
        return word & 0xFFFFFFFF
    return word


def _hex(type_: str, value: int) -> str:
    return f"16#{value:0{_HEX_DIGITS[type_]}X}"


def _time_of_day(ticks: int):
    if not 0 <= ticks < TICKS_PER_DAY:
        return ticks  # not a time of day: the ticks as they are
    seconds, rest = divmod(ticks, TICKS_PER_SECOND)
    return datetime.time(seconds // 3600, seconds // 60 % 60, seconds % 60, rest * 100)


_DATE_TEXT = re.compile(r"([0-9]{1,4})-([0-9]{1,2})-([0-9]{1,2})")
_TOD_TEXT = re.compile(r"([0-9]{1,2}):([0-9]{2})(?::([0-9]{1,2}(?:\.[0-9]+)?))?")


def _date_of(value) -> Optional[datetime.date]:
    if isinstance(value, datetime.datetime):
        return None
    if isinstance(value, datetime.date):
        return value
    if not isinstance(value, str):
        return None
    text = re.sub(r"^(?:date#|d#)", "", value.strip().lower())
    m = _DATE_TEXT.fullmatch(text)
    try:
        return datetime.date(int(m.group(1)), int(m.group(2)), int(m.group(3))) if m else None
    except ValueError:
        return None


def _tod_ticks(value) -> Optional[int]:
    if isinstance(value, datetime.time):
        return ((value.hour * 60 + value.minute) * 60 + value.second) * TICKS_PER_SECOND \
            + (value.microsecond + 50) // 100
    if not isinstance(value, str):
        return None
    text = re.sub(r"^(?:time_of_day#|tod#)", "", value.strip().lower())
    m = _TOD_TEXT.fullmatch(text)
    if not m:
        return None
    with decimal.localcontext() as exact:
        exact.prec = 60
        seconds = decimal.Decimal(m.group(3) or "0")
        if int(m.group(1)) > 23 or int(m.group(2)) > 59 or seconds >= 60:
            return None
        ticks = (int(m.group(1)) * 3600 + int(m.group(2)) * 60) * TICKS_PER_SECOND \
            + int((seconds * TICKS_PER_SECOND).to_integral_value(rounding=decimal.ROUND_HALF_UP))
    return ticks if ticks < TICKS_PER_DAY else None


def _date_and_time_of(value):
    """(date, ticks since midnight), or None."""
    if isinstance(value, datetime.datetime):
        return value.date(), _tod_ticks(value.time())
    if not isinstance(value, str):
        return None
    text = re.sub(r"^(?:date_and_time#|dt#)", "", value.strip().lower())
    parts = text.split("-")
    if len(parts) != 4:
        return None
    day, ticks = _date_of("-".join(parts[:3])), _tod_ticks(parts[3])
    return None if day is None or ticks is None else (day, ticks)


_ESCAPES = {"$": "$", "'": "'", "l": "\n", "n": "\n", "p": "\f", "r": "\r", "t": "\t"}


def _string_text(value) -> Optional[str]:
    """A STRING's text: 'text' with $ escapes, or text without quotes as it stands."""
    if not isinstance(value, str):
        return None
    if not (len(value) >= 2 and value[0] == value[-1] == "'"):
        return None if value.startswith("'") else value
    body, out, k = value[1:-1], [], 0
    while k < len(body):
        c = body[k]
        if c == "'":
            return None
        if c != "$":
            out.append(c)
            k += 1
            continue
        e = body[k + 1:k + 2].lower()
        if e in _ESCAPES:
            out.append(_ESCAPES[e])
            k += 2
        elif re.fullmatch(r"[0-9a-f]{2}", body[k + 1:k + 3].lower()):
            out.append(chr(int(body[k + 1:k + 3], 16)))
            k += 3
        else:
            return None
    text = "".join(out)
    return text if all(ord(ch) < 256 for ch in text) else None


def format_value(v: Variable, value) -> str:
    """A value as qvctl prints it: 16#00FF, D#2024-01-31, TOD#12:00:00.5, 'text', ..."""
    if v.type in _HEX_DIGITS:
        return _hex(v.type, value)
    if v.type == "DATE":
        return f"D#{value.isoformat()}"
    if v.type in ("TIME_OF_DAY", "DATE_AND_TIME"):
        t = value.time() if isinstance(value, datetime.datetime) else value
        if not isinstance(t, datetime.time):
            return f"TOD#? ({value} ticks)"
        clock = f"{t.hour:02}:{t.minute:02}:{t.second:02}"
        if t.microsecond:
            clock += ("." + f"{t.microsecond // 100:04}").rstrip("0")
        return f"DT#{value.date().isoformat()}-{clock}" if isinstance(value, datetime.datetime) else f"TOD#{clock}"
    if v.type == "STRING" and v.length:
        out = []
        for ch in value:
            if ch in "$'":
                out.append("$" + ch)
            elif ch in "\n\r\t\f":
                out.append({"\n": "$N", "\r": "$R", "\t": "$T", "\f": "$P"}[ch])
            elif ord(ch) < 0x20 or ord(ch) >= 0x7F:
                out.append(f"${ord(ch):02X}")
            else:
                out.append(ch)
        return "'" + "".join(out) + "'"
    return _show(value)
