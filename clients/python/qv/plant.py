"""The machine beside a program, played inside the client in step with it.

`qvctl plant` follows a running program by its cycle counter, which no process can do
when the program runs without waiting between cycles. This plant is stepped by the
client instead: after each cycle (one STEP) it reads the orders, moves by one period of
simulated time and writes the limit switches, so the model sees its machine exactly as
it would in real time. The wiring comes from the same tables as `qvctl plant`'s; the
motion is the same: a double-acting cylinder moves while exactly one of its orders is
given, a spring-return one extends while ordered and returns by itself, a vacuum builds
and falls over its delay and works its switch at the ends."""

from __future__ import annotations

from dataclasses import dataclass
from typing import List, Optional

from . import generated as g
from .errors import ImageError


@dataclass
class Cylinder:
    name: str
    extend: str
    retract: Optional[str]
    extended_switch: Optional[str]
    retracted_switch: Optional[str]
    travel: float
    position: float = 0.0  # 0 retracted .. 1 extended

    @property
    def extended(self) -> bool:
        return self.position >= 1.0

    @property
    def retracted(self) -> bool:
        return self.position <= 0.0


@dataclass
class Vacuum:
    name: str
    on_valve: str
    off_valve: str
    switch: Optional[str]
    delay: float
    generating: bool = False
    level: float = 0.0
    switch_on: bool = False


def _fraction(seconds: float, whole: float) -> float:
    if not seconds > 0.0:
        return 0.0
    if not whole > 0.0:
        return 1.0
    return seconds / whole


class Plant:
    """Cylinders retracted, no vacuum; `travel` and `vacuum` in seconds."""

    def __init__(self, image, travel: float = 1.0, vacuum: float = 0.3):
        # Only a program recognised by its image: a description could give any name.
        wiring = g.WIRING.get(image.recognised)
        if wiring is None:
            raise ImageError(f"no plant simulator for {image.program or 'an unknown program'}"
                             + ("" if image.recognised or not image.program else
                                " (the plant plays only a program it recognises by its image)"))
        self.image = image
        self.cylinders: List[Cylinder] = [Cylinder(name, ext, ret, es, rs, travel)
                                          for name, ext, ret, es, rs in wiring[0]]
        self.vacuums: List[Vacuum] = [Vacuum(name, on, off, sw, vacuum) for name, on, off, sw in wiring[1]]
        for name in self._names():
            if image.variable(name).type != "BOOL":
                raise ImageError(f"{name} of {image.program} is not a boolean")
        self.write_sensors()

    def _names(self):
        for c in self.cylinders:
            yield from (n for n in (c.extend, c.retract, c.extended_switch, c.retracted_switch) if n)
        for v in self.vacuums:
            yield from (n for n in (v.on_valve, v.off_valve, v.switch) if n)

    def _order(self, name: Optional[str]) -> bool:
        return bool(name) and self.image.read(self.image.variable(name))

    def _switch(self, name: Optional[str], value: bool):
        # A switch that the supervisor forces keeps its forced value.
        if name and not self.image.forced(name) and self.image.read(self.image.variable(name)) != value:
            self.image.set(name, value)

    def write_sensors(self):
        for c in self.cylinders:
            self._switch(c.extended_switch, c.extended)
            self._switch(c.retracted_switch, c.retracted)
        for v in self.vacuums:
            self._switch(v.switch, v.switch_on)

    def step(self, seconds: float):
        """Moves by `seconds` of simulated time under the orders as they stand."""
        for c in self.cylinders:
            extend_order, retract_order = self._order(c.extend), self._order(c.retract)
            extend, retract = extend_order and not retract_order, retract_order and not extend_order
            if c.retract is None:  # spring return
                extend, retract = extend_order, not extend_order
            move = _fraction(seconds, c.travel)
            if extend:
                c.position = min(1.0, c.position + move)
            if retract:
                c.position = max(0.0, c.position - move)
        for v in self.vacuums:
            on, off = self._order(v.on_valve), self._order(v.off_valve)
            if on and not off:
                v.generating = True
            if off and not on:
                v.generating = False
            move = _fraction(seconds, v.delay)
            v.level = min(1.0, v.level + move) if v.generating else max(0.0, v.level - move)
            if v.level >= 1.0:
                v.switch_on = True
            if v.level <= 0.0:
                v.switch_on = False
        self.write_sensors()

    def cylinder(self, name: str) -> Cylinder:
        for c in self.cylinders:
            if c.name == name:
                return c
        raise KeyError(name)

    def position_code(self) -> Optional[int]:
        """The manipulator cell's gripper position (0..7) from GX, PX and VR, or None while
        one of them stands between its ends."""
        ends = []
        for name in ("GX", "PX", "VR"):
            c = self.cylinder(name)
            ends.append(1 if c.extended else 0 if c.retracted else None)
        if None in ends:
            return None
        gx, px, vr = ends
        return gx * 4 + ((0, 1), (3, 2))[px][vr]
