"""Driving the program through its execution status, and waiting for conditions."""

from __future__ import annotations

import inspect
import math
import time
from typing import TYPE_CHECKING, Callable, Dict, Optional, Tuple, Union

from . import generated as g
from .errors import ProgramError, WaitTimeout
from .values import _show
from .view import _process_alive, status_name

if TYPE_CHECKING:
    from .image import Image


class Control:
    """Run, stop, step and end the program; wait for its cycles and conditions."""

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

    @property
    def paused_where(self) -> Optional[str]:
        """Where the program stands paused, by name: the step whose breakpoint paused it
        ("Verin_GX._X_21", "_X_21" in a program of one model), the source line of a
        compiled program ("conveyor.st:12 in Main.Timer1"), else "location L, instance I".
        None when not paused."""
        where = self.paused_at
        if where is None:
            return None
        location, instance = where
        # A compiled program's description names the source line.
        line = getattr(self, "location_name", lambda *_: None)(location, instance)
        if line:
            return line
        for name, number in g.STEP_INSTANCES.get(self.program, {}).items():
            step = f"{name}._X_{location}" if name else f"_X_{location}"
            if number == instance and self.symbols is not None and step in self.symbols.by_name:
                return step
        return f"location {location}, instance {instance}"

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

    def resume(self, run: bool = False, timeout: Optional[float] = None) -> str:
        """Leaves a pause at a breakpoint. By default the paused cycle goes on to its end
        and the program stops there (a later listed step of the same cycle pauses it
        again); run=True lets it run on (on a stepped image, one STEP at a time through
        the waits). Returns "STOP", "RUN", or "PAUSE" when it paused again. Unlike step(),
        which goes on to the next breakpoint call whatever its location, it never stops
        at a location that is not listed."""
        self._need_program()
        if self.status_code != g.STATUS_PAUSE:
            raise ProgramError(f"the program is not paused at a breakpoint (status {self.status}){self._more()}")
        if timeout is None:
            timeout = 5.0 + 3 * self._period_seconds()
        ack_at = self._offset(g.AREA_INT, self._exec) // 4 + 1
        cycle = self.cycle
        goes_on = run and not self.stepped
        self._set_int(self._exec, g.STATUS_RUN if goes_on else g.STATUS_STOP)
        if run:
            self._running = True
        left = False
        deadline = time.monotonic() + timeout
        while True:
            status, ack = self.status_code, self._words[ack_at]
            left = left or ack != g.STATUS_PAUSE
            if left and status == g.STATUS_PAUSE and ack == g.STATUS_PAUSE:
                return "PAUSE"
            if goes_on and left:
                return "RUN"
            if not goes_on and status == g.STATUS_STOP and ack == g.STATUS_STOP and self.cycle != cycle:
                if self.plant is not None:
                    self.plant.step(self._period_seconds())
                return "RUN" if run else "STOP"
            if self.pid == 0 or not self.alive:
                raise ProgramError(f"the program ended while leaving a pause{self._more()}")
            if time.monotonic() > deadline:
                raise ProgramError(f"the program did not leave its pause within {timeout:.1f} s{self._more()}")
            time.sleep(0.0002)

    def wait_for_pause(self, timeout: float = 60.0, cycles: Optional[int] = None) -> str:
        """Waits until a location breakpoint pauses the program (a step breakpoint set with
        add_breakpoint("Verin_GX._X_21")) and returns where, by name (see paused_where).
        On a stepped image the cycles run one STEP at a time until the pause."""
        # Paused once the program has answered its own PAUSE: by then it has written where.
        self.wait_until(lambda image: image.status == "PAUSE" and image.acknowledged == "PAUSE",
                        timeout=timeout, cycles=cycles, what="a breakpoint to pause the program")
        return self.paused_where

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
                # A pause is left to the end of its cycle, not stepped from call to call.
                outcome = self.resume() if self.status_code == g.STATUS_PAUSE else self.step()
                if outcome == "PAUSE":
                    if holds():  # waiting for the pause itself, or for what it shows
                        return self.cycle
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
