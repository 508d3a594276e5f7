"""The index tables of traced variables and the breakpoint lists."""

from __future__ import annotations

import re
from typing import Dict, List, Optional, Tuple, Union

from . import generated as g
from .errors import ImageError, RefusedWrite
from .symbols import Variable, slot_name, some_names

_TRACE_TABLES = (g.BOOL_TRACE_TABLE_OFFSET, g.INT_TRACE_TABLE_OFFSET, g.REAL_TRACE_TABLE_OFFSET,
                 g.CHAR_TRACE_TABLE_OFFSET)


class Lists:
    """Trace switches, traced variables and breakpoints."""

    # ---- Trace ----------------------------------------------------------------------------------

    def _table(self, offset: int) -> int:
        self.check_size()  # the tables are read straight from the header's words
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
                if v.area == area and v.slot <= slot < v.slot + v.span:
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
        program of one model): the program pauses as the step becomes active. Or a source
        line of a compiled program (add_breakpoint("conveyor.st:12") for every instance,
        add_breakpoint("Main.Timer1@conveyor.st:12") for one)."""
        lines = self._source_pairs(what) if instance is None else None
        if lines is not None:
            self._source_breakpoint(lines, True)
            return
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
        lines = self._source_pairs(what) if instance is None else None
        if lines is not None:
            self._source_breakpoint(lines, False)
            return
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

    def location_name(self, location: int, instance: int) -> Optional[str]:
        """"conveyor.st:12 in Main.Timer1" where the program's description maps the location
        to a source line, else None."""
        if self.symbols is None or location not in self.symbols.locations:
            return None
        file, line = self.symbols.locations[location]
        return f"{file}:{line} in {self.symbols.instances.get(instance, f'instance {instance}')}"

    @property
    def paused_line(self) -> Optional[str]:
        """While paused at a location a compiled program's description maps: "conveyor.st:12
        in Main.Timer1"; else None."""
        where = self.paused_at
        return None if where is None else self.location_name(*where)

    def _source_pairs(self, what) -> Optional[List[Tuple[int, int]]]:
        """The (location, instance) pairs of "FILE:LINE" or "INSTANCE@FILE:LINE"; None when
        `what` does not have that form."""
        if not isinstance(what, str):
            return None
        m = re.fullmatch(r"(?:(.+)@)?(.+):([0-9]+)", what)
        if m is None or int(m.group(3)) < 1:
            return None
        path, file, line = m.group(1), m.group(2), int(m.group(3))
        if self.symbols is None or not self.symbols.locations:
            raise RefusedWrite("the program's description maps no source lines; give a location and an instance number")
        file = self.symbols.sources.get(file, file)
        locations = sorted({n for n, (f, l) in self.symbols.locations.items() if f == file and l == line})
        if not locations:
            raise RefusedWrite(f"no statement of the program starts on line {line} of {file}")
        if path is not None:
            numbers = [n for n, p in self.symbols.instances.items() if p == path]
            if not numbers:
                raise RefusedWrite(f"no instance {path} in {self.program}")
            numbers = numbers[:1]
        else:
            # The program matches a pair's instance exactly: every instance gets its own pair.
            numbers = sorted(self.symbols.instances)
            if not numbers:
                raise RefusedWrite(f"the program's description lists no instances; give INSTANCE@{file}:{line}")
        return [(loc, n) for loc in locations for n in numbers]

    def _source_breakpoint(self, pairs: List[Tuple[int, int]], adding: bool):
        before = set(self.breakpoints()["location"])
        try:
            for pair in pairs:
                self._location_breakpoint(*pair, adding)
        except RefusedWrite:
            for pair in pairs:  # all of the line's instances, or none
                if pair not in before:
                    self._location_breakpoint(*pair, False)
            raise

    def breakpoints(self) -> Dict[str, list]:
        """{"data": [boolean names], "location": [(location, instance), ...]}; with
        "lines": ["conveyor.st:12 in Main", ...] for the pairs a compiled program's
        description names."""
        if self.revision == 1:
            data = [s for s in range(self.counts[g.AREA_BOOL])
                    if self._mm[self._offset(g.AREA_BOOL, s) + 1] & g.R1_BOOL_DATA_BREAKPOINT]
        else:
            data = self._table_entries(g.BOOL_BREAKPOINT_TABLE_OFFSET)
        pairs = [p for p in (self._pair(k) for k in range(1, self._pair_count() + 1)) if p != (0, 0)]
        found = {"data": [self.name_of_slot(g.AREA_BOOL, s) for s in data], "location": pairs}
        lines = [name for name in (self.location_name(*p) for p in pairs) if name is not None]
        if lines:
            found["lines"] = lines
        return found

    def _step(self, what, number) -> Optional[Tuple[int, int]]:
        """(location, instance) of the step that `what` names ("Verin_GX._X_21", "_X_21",
        or "Verin_GX" with number 21), None when `what` does not name a step at all."""
        if not isinstance(what, str):
            return None
        if number is None:
            chart_step = self._chart_step(what)
            if chart_step is not None:
                return chart_step
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

    def _chart_step(self, what: str) -> Optional[Tuple[int, int]]:
        """(location, instance) of a compiled chart's step by its instance path and name
        ("Main.Fill", or "Cell.Res1.Main.Fill"), None when `what` names no such step."""
        if self.symbols is None or not self.symbols.chart_steps or "." not in what.strip("."):
            return None
        path, _, name = what.rpartition(".")
        numbers = [n for n, p in self.symbols.instances.items() if p == path]
        if not numbers:
            numbers = [n for n, p in self.symbols.instances.items() if p.endswith("." + path)]
            if len(numbers) > 1:
                raise RefusedWrite(f"{path} is ambiguous: "
                                   f"{some_names([self.symbols.instances[n] for n in numbers])}")
        if not numbers:
            return None
        pou = self.symbols.instance_types.get(numbers[0])
        for step_pou, step, location in self.symbols.chart_steps:
            if step_pou == pou and step == name:
                return (location, numbers[0])
        return None

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
