"""Names of variables: the control variables of each revision, the symbol tables of the
programs (built in, or read from `<program>.symbols.json` beside a program's executable)
and slots named as the trace file names them (B5, I523, F10, C3)."""

from __future__ import annotations

import errno
import json
import os
import re
import stat
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

from . import generated as g
from .errors import ImageError

AREA_LETTERS = "BIFC"
AREA_WORDS = ("boolean", "integer", "real", "character")
_AREA_BY_JSON = {"bool": g.AREA_BOOL, "int": g.AREA_INT, "real": g.AREA_REAL, "char": g.AREA_CHAR}
# The area each type lives in.
_TYPE_AREA = {"BOOL": g.AREA_BOOL, "DINT": g.AREA_INT, "TIME": g.AREA_INT, "REAL": g.AREA_REAL,
              "STRING": g.AREA_CHAR, "CHAR": g.AREA_CHAR,
              "SINT": g.AREA_INT, "INT": g.AREA_INT, "BYTE": g.AREA_INT, "WORD": g.AREA_INT,
              "DWORD": g.AREA_INT, "DATE": g.AREA_INT, "TIME_OF_DAY": g.AREA_INT,
              "DATE_AND_TIME": g.AREA_INT, "ENUM": g.AREA_INT}
# The types each description version knows.
_VERSION_TYPES = {1: ("BOOL", "DINT", "TIME", "REAL", "STRING"),
                  2: ("BOOL", "DINT", "TIME", "REAL", "STRING", "SINT", "INT", "BYTE", "WORD", "DWORD",
                      "DATE", "TIME_OF_DAY", "DATE_AND_TIME", "ENUM")}
_DIRECTIONS = ("input", "output", "internal")
# Slots a variable of the type takes, counted from its first slot (a STRING of a declared
# length takes 3 + length).
SLOT_COUNT = {"BOOL": 1, "DINT": 1, "REAL": 1, "CHAR": 1, "TIME": 4, "STRING": 3 + g.TASKNAME_CAPACITY,
              "SINT": 1, "INT": 1, "BYTE": 1, "WORD": 1, "DWORD": 1, "ENUM": 1,
              "DATE": 3, "TIME_OF_DAY": 3, "DATE_AND_TIME": 4}
# What a description may hold, as qvctl bounds it.
MAX_DESCRIPTION_BYTES = 64 << 20
MAX_DESCRIPTION_VARIABLES = 1000000


@dataclass(frozen=True)
class Variable:
    name: str
    type: str       # BOOL, DINT, TIME, REAL, CHAR or STRING
    area: int       # 0 booleans, 1 integers, 2 reals, 3 characters
    slot: int       # absolute slot index in the area
    role: str       # input, output, internal, control or slot
    comment: str = ""
    length: int = 0                   # a STRING's declared length (0: none declared)
    enum: Optional["EnumType"] = None  # an ENUM's names
    address: str = ""                 # a located variable's address ("%MW0")
    operator: bool = False            # an input meant for a person at the panel

    @property
    def slot_name(self) -> str:
        return slot_name(self.area, self.slot)

    @property
    def span(self) -> int:
        """Slots of its area the variable takes."""
        return 3 + self.length if self.type == "STRING" and self.length else SLOT_COUNT[self.type]


@dataclass(frozen=True)
class EnumType:
    name: str
    values: Tuple[Tuple[str, int], ...]  # (name, value) pairs

    def by_value(self, value: int) -> Optional[str]:
        for name, v in self.values:
            if v == value:
                return name
        return None

    def by_name(self, name: str) -> Optional[int]:
        for n, v in self.values:
            if n.lower() == name.lower():
                return v
        return None


def some_names(names: List[str], shown: int = 4) -> str:
    """"a, b, c, d and 3 more": a refusal stays one line however many names match."""
    text = ", ".join(names[:shown])
    return text + (f" and {len(names) - shown} more" if len(names) > shown else "")


def slot_name(area: int, slot: int) -> str:
    return AREA_LETTERS[area] + str(slot)


@dataclass
class SymbolTable:
    program: str
    revision: Optional[int]
    variables: List[Variable]
    source: str  # "built-in" or the path of the file read
    # location -> (file, line); instance number -> path; file -> path it was read from
    locations: Dict[int, Tuple[str, int]] = field(default_factory=dict)
    instances: Dict[int, str] = field(default_factory=dict)
    sources: Dict[str, str] = field(default_factory=dict)
    # instance number -> its POU's type; the charts' steps as (POU, step, location)
    instance_types: Dict[int, str] = field(default_factory=dict)
    chart_steps: List[Tuple[str, str, int]] = field(default_factory=list)

    def __post_init__(self):
        self.by_name: Dict[str, Variable] = {}
        # Each dotted name under every suffix that starts after one of its dots ("Main.Fill.X"
        # for "Cell.Res1.Main.Fill.X"): as many keys as the names have dots.
        self.by_suffix: Dict[str, List[Variable]] = {}
        for v in self.variables:
            self.by_name.setdefault(v.name, v)  # the first of equal names, as qvctl finds it
            dot = v.name.find(".")
            while dot != -1:
                if dot + 1 < len(v.name):
                    self.by_suffix.setdefault(v.name[dot + 1:], []).append(v)
                dot = v.name.find(".", dot + 1)

    def by_short_path(self, name: str) -> List[Variable]:
        """The variables whose full path ends with "." + name, in the table's order."""
        return self.by_suffix.get(name, []) if name else []


def builtin_table(program: str) -> Optional[SymbolTable]:
    rows = g.SYMBOLS.get(program)
    if rows is None:
        return None
    facts = g.PROGRAMS.get(program)
    operators = g.OPERATOR_INPUTS.get(program, ())
    return SymbolTable(program, facts[0] if facts else None,
                       [Variable(name, type_, area, slot, direction, operator=name in operators)
                        for name, type_, area, slot, direction in rows],
                       "built-in")


def _read_bounded(path: str) -> bytes:
    """The file's bytes, read only from a regular file within the cap, without following a
    final symbolic link and without blocking on a FIFO."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_CLOEXEC | os.O_NOCTTY)
    except OSError as e:
        if e.errno == errno.ELOOP:
            raise ImageError(f"{path} is a symbolic link; name the description itself") from None
        raise ImageError(f"cannot read symbol file {path}: {e.strerror or e}") from None
    try:
        info = os.fstat(fd)
        if not stat.S_ISREG(info.st_mode):
            what = ("a folder" if stat.S_ISDIR(info.st_mode) else "a FIFO" if stat.S_ISFIFO(info.st_mode)
                    else "a device" if stat.S_ISCHR(info.st_mode) or stat.S_ISBLK(info.st_mode)
                    else "not a regular file")
            raise ImageError(f"{path} is {what}, not a symbol description file")
        if info.st_size > MAX_DESCRIPTION_BYTES:
            raise ImageError(f"{path} holds {info.st_size} bytes; a symbol description is at most "
                             f"{MAX_DESCRIPTION_BYTES >> 20} MiB")
        chunks, left = [], info.st_size
        while left > 0:
            chunk = os.read(fd, min(left, 1 << 20))
            if not chunk:
                break
            chunks.append(chunk)
            left -= len(chunk)
        return b"".join(chunks)
    finally:
        os.close(fd)


def read_symbol_file(path: str) -> SymbolTable:
    """Reads a symbol description (version 1 or 2); a malformed one is an ImageError naming
    what is wrong."""
    def bad(why):
        return ImageError(f"symbol file {path}: {why}")

    text = _read_bounded(path)
    try:
        data = json.loads(text.decode("utf-8"))
    except (ValueError, UnicodeDecodeError) as e:
        raise bad(f"not JSON ({e})") from None
    if not isinstance(data, dict) or data.get("format") != "qv-symbols":
        raise bad('not a symbol description (no "format": "qv-symbols")')
    version = data.get("version")
    if isinstance(version, bool) or version not in _VERSION_TYPES:
        raise bad(f"version {version!r}, this client reads versions 1 and 2")
    program = data.get("program")
    if not isinstance(program, str) or not program:
        raise bad("no program name")
    revision = data.get("revision")
    if revision is not None and revision not in (1, 2, 3):
        raise bad(f"revision {revision!r} is not 1, 2 or 3")
    entries = data.get("variables")
    if not isinstance(entries, list):
        raise bad("no list of variables")
    if len(entries) > MAX_DESCRIPTION_VARIABLES:
        raise bad(f"{len(entries)} variables; a description holds at most {MAX_DESCRIPTION_VARIABLES}")

    def whole(value, low=0):
        return isinstance(value, int) and not isinstance(value, bool) and low <= value < 2**31

    enums: Dict[str, EnumType] = {}
    for e in (data.get("enums") or []) if version >= 2 else []:
        if not isinstance(e, dict) or not isinstance(e.get("name"), str) or not isinstance(e.get("values"), list):
            raise bad("an enum is not a name with a list of values")
        pairs = []
        for item in e["values"]:
            if not isinstance(item, dict) or not isinstance(item.get("name"), str) \
                    or not isinstance(item.get("value"), int) or isinstance(item.get("value"), bool) \
                    or not -2**31 <= item["value"] < 2**31:
                raise bad(f"enum {e['name']} has a value that is not a name with a 32-bit whole value")
            pairs.append((item["name"], item["value"]))
        enums[e["name"]] = EnumType(e["name"], tuple(pairs))
    variables = []
    for k, entry in enumerate(entries):
        if not isinstance(entry, dict):
            raise bad(f"variable {k} is not an object")
        name, type_, area, slot = entry.get("name"), entry.get("type"), entry.get("area"), entry.get("slot")
        direction, comment = entry.get("direction", "internal"), entry.get("comment", "")
        if not isinstance(name, str) or not name:
            raise bad(f"variable {k} has no name")
        if type_ not in _VERSION_TYPES[version]:
            raise bad(f"{name} has type {type_!r}")
        if _AREA_BY_JSON.get(area) != _TYPE_AREA[type_]:
            raise bad(f"{name} of type {type_} cannot live in area {area!r}")
        if not whole(slot):
            raise bad(f"{name} has slot {slot!r}")
        if direction not in _DIRECTIONS:
            raise bad(f"{name} has direction {direction!r}")
        operator = entry.get("operator", False)
        if not isinstance(operator, bool) or (operator and direction != "input"):
            raise bad(f"{name}: only an input is an operator's")
        length, enum, address = 0, None, ""
        if version >= 2:
            if type_ == "STRING" and "length" in entry:
                length = entry["length"]
                if not whole(length, 1) or length > 65535:
                    raise bad(f"{name} has length {length!r}")
            if type_ == "ENUM":
                enum = enums.get(entry.get("enum"))
                if enum is None:
                    raise bad(f"{name}: no enum {entry.get('enum')!r} in \"enums\"")
            address = entry.get("address", "") if isinstance(entry.get("address", ""), str) else ""
        variables.append(Variable(name, type_, _TYPE_AREA[type_], slot, direction,
                                  comment if isinstance(comment, str) else "", length, enum, address, operator))
    table = SymbolTable(program, revision, variables, path)
    if version >= 2:
        for item in data.get("locations") or []:
            if isinstance(item, dict) and whole(item.get("location"), 1) and isinstance(item.get("file"), str) \
                    and whole(item.get("line"), 1):
                table.locations.setdefault(item["location"], (item["file"], item["line"]))
        for item in data.get("instances") or []:
            if isinstance(item, dict) and whole(item.get("number"), 1) and isinstance(item.get("path"), str):
                table.instances.setdefault(item["number"], item["path"])
                if isinstance(item.get("type"), str):
                    table.instance_types.setdefault(item["number"], item["type"])
        for chart in data.get("charts") or []:
            if isinstance(chart, dict) and isinstance(chart.get("pou"), str):
                for step in chart.get("steps") or []:
                    if isinstance(step, dict) and isinstance(step.get("name"), str) \
                            and whole(step.get("location"), 1):
                        table.chart_steps.append((chart["pou"], step["name"], step["location"]))
        for item in data.get("sources") or []:
            if isinstance(item, dict) and isinstance(item.get("file"), str) and isinstance(item.get("path"), str):
                table.sources[item["path"]] = item["file"]
    return table


def symbol_file_beside(pid: int) -> Optional[str]:
    """`<exe>.symbols.json` beside the executable of a running process, if there is one."""
    if pid <= 0:
        return None
    try:
        exe = os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return None
    path = exe + ".symbols.json"
    return path if os.path.isfile(path) else None


def control_variables(revision: int, exec_slot: int, int_count: int) -> List[Variable]:
    def v(name, type_, area, slot):
        return Variable(name, type_, area, slot, "control")

    B, I, F, C = g.AREA_BOOL, g.AREA_INT, g.AREA_REAL, g.AREA_CHAR
    return [
        v("traceon", "BOOL", B, g.TRACEON_SLOT),
        v("resettrace", "BOOL", B, g.RESETTRACE_SLOT),
        v("tracesnapshop" if revision == 3 else "qv_delay", "BOOL", B, g.TRACESNAPSHOP_SLOT),
        v("allowpreconditions", "BOOL", B, g.ALLOWPRECONDITIONS_SLOT),
        v("allowpostconditions", "BOOL", B, g.ALLOWPOSTCONDITIONS_SLOT),
        v("execstatus", "DINT", I, exec_slot),
        v("bpnoline", "DINT", I, exec_slot + g.BPNOLINE_FROM_EXEC),
        v("bpcurrentinstance", "DINT", I, exec_slot + g.BPCURRENTINSTANCE_FROM_EXEC),
        v("bpcurrentlocation", "DINT", I, exec_slot + g.BPCURRENTLOCATION_FROM_EXEC),
        v("bpcurrentprepostcode", "DINT", I, exec_slot + g.BPCURRENTPREPOSTCODE_FROM_EXEC),
        v("bpcurrenttypeerror", "DINT", I, exec_slot + g.BPCURRENTTYPEERROR_FROM_EXEC),
        v("bpcurrentrank", "DINT", I, exec_slot + g.BPCURRENTRANK_FROM_EXEC),
        v("signature", "DINT", I, exec_slot + g.SIGNATURE_FROM_EXEC),
        v("generationtime", "DINT", I, exec_slot + g.GENERATIONTIME_FROM_EXEC),
        v("pospid", "DINT", I, int_count - g.POSPID_FROM_END),
        v("posmxsimucounter", "DINT", I, int_count - g.SIMU_COUNTER_FROM_END),
        v("posmxmicrostepcounter", "DINT", I, int_count - g.MICRO_STEP_COUNTER_FROM_END),
        v("simuperiod", "REAL", F, g.SIMUPERIOD_SLOT),
        v("minsimuperiod", "REAL", F, g.MINSIMUPERIOD_SLOT),
        v("maxsimuperiod", "REAL", F, g.MAXSIMUPERIOD_SLOT),
        v("realsimuperiod", "REAL", F, g.REALSIMUPERIOD_SLOT),
        v("mxmeanvariablemodification", "REAL", F, g.MEAN_MODIFICATION_SLOT),
        v("mxminvariablemodification", "REAL", F, g.MIN_MODIFICATION_SLOT),
        v("mxmaxvariablemodification", "REAL", F, g.MAX_MODIFICATION_SLOT),
        v("taskname", "STRING", C, g.TASKNAME_SLOT),
    ]


# Control variables that only the program writes: a supervisor that writes them breaks
# the program's bookkeeping (or makes it look ended), so they need a raw write.
PROGRAM_WRITTEN = frozenset((
    "allowpreconditions", "allowpostconditions", "bpcurrentinstance", "bpcurrentlocation",
    "bpcurrentprepostcode", "bpcurrenttypeerror", "bpcurrentrank", "signature", "generationtime",
    "pospid", "posmxsimucounter", "posmxmicrostepcounter", "minsimuperiod", "maxsimuperiod",
    "realsimuperiod", "mxmeanvariablemodification", "mxminvariablemodification",
    "mxmaxvariablemodification", "taskname"))

_SLOT_NAME = re.compile(r"([BIFC])([0-9]{1,10})")


def parse_slot_name(name: str):
    """(area, slot) for "B5", "I523", "F10", "C3"; None for anything else."""
    m = _SLOT_NAME.fullmatch(name)
    if not m:
        return None
    return AREA_LETTERS.index(m.group(1)), int(m.group(2))
