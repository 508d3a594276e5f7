"""Names of variables: the control variables of each revision, the symbol tables of the
programs (built in, or read from `<program>.symbols.json` beside a program's executable)
and slots named as the trace file names them (B5, I523, F10, C3)."""

from __future__ import annotations

import json
import os
import re
from dataclasses import dataclass
from typing import Dict, List, Optional

from . import generated as g
from .errors import ImageError

AREA_LETTERS = "BIFC"
AREA_WORDS = ("boolean", "integer", "real", "character")
_AREA_BY_JSON = {"bool": g.AREA_BOOL, "int": g.AREA_INT, "real": g.AREA_REAL, "char": g.AREA_CHAR}
# The area each type lives in.
_TYPE_AREA = {"BOOL": g.AREA_BOOL, "DINT": g.AREA_INT, "TIME": g.AREA_INT, "REAL": g.AREA_REAL,
              "STRING": g.AREA_CHAR, "CHAR": g.AREA_CHAR}
_DIRECTIONS = ("input", "output", "internal")
# Slots a variable of the type takes, counted from its first slot.
SLOT_COUNT = {"BOOL": 1, "DINT": 1, "REAL": 1, "CHAR": 1, "TIME": 4, "STRING": 3 + g.TASKNAME_CAPACITY}


@dataclass(frozen=True)
class Variable:
    name: str
    type: str       # BOOL, DINT, TIME, REAL, CHAR or STRING
    area: int       # 0 booleans, 1 integers, 2 reals, 3 characters
    slot: int       # absolute slot index in the area
    role: str       # input, output, internal, control or slot
    comment: str = ""

    @property
    def slot_name(self) -> str:
        return slot_name(self.area, self.slot)


def slot_name(area: int, slot: int) -> str:
    return AREA_LETTERS[area] + str(slot)


@dataclass
class SymbolTable:
    program: str
    revision: Optional[int]
    variables: List[Variable]
    source: str  # "built-in" or the path of the file read

    def __post_init__(self):
        self.by_name: Dict[str, Variable] = {v.name: v for v in self.variables}


def builtin_table(program: str) -> Optional[SymbolTable]:
    rows = g.SYMBOLS.get(program)
    if rows is None:
        return None
    facts = g.PROGRAMS.get(program)
    return SymbolTable(program, facts[0] if facts else None,
                       [Variable(name, type_, area, slot, direction) for name, type_, area, slot, direction in rows],
                       "built-in")


def read_symbol_file(path: str) -> SymbolTable:
    """Reads a symbol description; a malformed one is an ImageError naming what is wrong."""
    def bad(why):
        return ImageError(f"symbol file {path}: {why}")

    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except OSError as e:
        raise ImageError(f"cannot read symbol file {path}: {e.strerror or e}") from None
    except ValueError as e:
        raise bad(f"not JSON ({e})") from None
    if not isinstance(data, dict) or data.get("format") != "qv-symbols":
        raise bad('not a symbol description (no "format": "qv-symbols")')
    if data.get("version") != 1:
        raise bad(f"version {data.get('version')!r}, this client reads version 1")
    program = data.get("program")
    if not isinstance(program, str) or not program:
        raise bad("no program name")
    revision = data.get("revision")
    if revision is not None and revision not in (1, 2, 3):
        raise bad(f"revision {revision!r} is not 1, 2 or 3")
    entries = data.get("variables")
    if not isinstance(entries, list):
        raise bad("no list of variables")
    variables = []
    for k, entry in enumerate(entries):
        if not isinstance(entry, dict):
            raise bad(f"variable {k} is not an object")
        name, type_, area, slot = entry.get("name"), entry.get("type"), entry.get("area"), entry.get("slot")
        direction, comment = entry.get("direction", "internal"), entry.get("comment", "")
        if not isinstance(name, str) or not name:
            raise bad(f"variable {k} has no name")
        if type_ not in _TYPE_AREA or type_ == "CHAR":
            raise bad(f"{name} has type {type_!r}")
        if _AREA_BY_JSON.get(area) != _TYPE_AREA[type_]:
            raise bad(f"{name} of type {type_} cannot live in area {area!r}")
        if not isinstance(slot, int) or isinstance(slot, bool) or not 0 <= slot < 2**31:
            raise bad(f"{name} has slot {slot!r}")
        if direction not in _DIRECTIONS:
            raise bad(f"{name} has direction {direction!r}")
        variables.append(Variable(name, type_, _TYPE_AREA[type_], slot, direction,
                                  comment if isinstance(comment, str) else ""))
    return SymbolTable(program, revision, variables, path)


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
