"""Starting a program on a private image for a test, and cleaning up after it."""

from __future__ import annotations

import contextlib
import itertools
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from typing import Iterator, Optional, Tuple, Union

from .errors import ImageError, ProgramError, QvError
from .image import Image
from .plant import Plant

_serial = itertools.count(1)
# The lines of console output and trace kept for a failure message.
_TAIL_LINES = 40


def _find_program(program: str) -> str:
    if os.sep in program:
        path = os.path.abspath(program)
        if not (os.path.isfile(path) and os.access(path, os.X_OK)):
            raise ProgramError(f"{program} is not an executable program")
        return path
    found = shutil.which(program)
    if found is None:
        raise ProgramError(f"{program} is not found on PATH (give its path, or put its folder on PATH)")
    return os.path.abspath(found)


def _speed_text(speed) -> Optional[str]:
    if speed is None:
        return None
    if speed == "max":
        return "max"
    if isinstance(speed, bool) or not isinstance(speed, (int, float)) or not math.isfinite(speed) or speed <= 0:
        raise ValueError(f'speed is a factor above 0 or "max", not {speed!r}')
    return f"{speed:g}"


def _tail(path: str, lines: int = _TAIL_LINES) -> str:
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", "replace")
    except OSError:
        return ""
    kept = text.splitlines()[-lines:]
    return "\n".join(kept)


def _log_folder() -> str:
    """Where the consoles of started programs are kept: QV_LOG_DIR, else qv_logs in the
    temporary folder."""
    folder = os.environ.get("QV_LOG_DIR") or os.path.join(tempfile.gettempdir(), "qv_logs")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    return folder


def _telling(text: str, noise: Tuple[str, ...]) -> str:
    """The last lines of a console or trace without the lines every step writes (status
    changes, pause lines), which would bury what went wrong."""
    kept = [line for line in text.splitlines() if not any(n in line for n in noise)]
    return "\n".join(kept[-_TAIL_LINES:])


# A stepped program writes a status change to its console and a pause line to its trace
# at every step.
_CONSOLE_NOISE = ("Exec status change from ",)
_TRACE_NOISE = (" pause ",)


class Program:
    """A program started by qv.start: its process, folder, image and, once it has ended,
    its console output and trace file."""

    def __init__(self, path: str, speed, plant, period, timeout: float, symbols, env, stepped=None):
        self.path = path
        self.program = os.path.basename(path)
        self.speed = _speed_text(speed)
        self.timeout = timeout
        self.image_name = f"qvpy{os.getpid()}_{next(_serial)}"
        self.folder = tempfile.mkdtemp(prefix=f"qv_{self.program}_")
        # The console goes to a log file outside the folder, so that it outlives the run:
        # kept when the run failed, removed when it went well.
        self.console_path = os.path.join(_log_folder(), f"{self.program}_{self.image_name}.log")
        self.trace_path = os.path.join(self.folder, self.program + ".trc")
        self.console = ""  # kept when the program has ended
        self.trace = ""
        self.exit_status: Optional[int] = None
        self.image: Optional[Image] = None
        self.process: Optional[subprocess.Popen] = None
        self.plant_process: Optional[subprocess.Popen] = None
        self._plant, self._period, self._symbols, self._env = plant, period, symbols, env
        self._stepped = stepped

    # ---- Start -------------------------------------------------------------------------

    def start(self) -> Image:
        # The program writes its trace and reads its parameters beside the path it was
        # started by: a link in the folder keeps them out of the build.
        link = os.path.join(self.folder, self.program)
        os.symlink(self.path, link)
        _remove_image(self.image_name)
        env = dict(os.environ)
        for name in ("QV_MEMORY_SIZE", "QV_SPEED"):
            env.pop(name, None)
        env.update({"QV_MEMORY_NAME": self.image_name,
                    # A program whose supervisor died ends by itself after a while in STOP.
                    "QV_TIMEOUT": str(max(60, int(self.timeout)))})
        if self.speed is not None:
            env["QV_SPEED"] = self.speed
        env.update(self._env or {})
        with open(self.console_path, "wb") as console:
            self.process = subprocess.Popen([link], cwd=self.folder, env=env, stdin=subprocess.DEVNULL,
                                            stdout=console, stderr=subprocess.STDOUT)
        self.image = self._attach()
        self.image.context = self.describe
        if self._period is not None:
            self.image.period = float(self._period) * 1000.0
        mode = self._plant_mode()
        if mode == "stepped":
            self.image.plant = Plant(self.image)
        elif mode == "qvctl":
            self._start_qvctl_plant(env)
        self.image.stepped = bool(self._stepped) or mode == "stepped"
        return self.image

    def _attach(self) -> Image:
        """Waits until the program idles in STOP on its image."""
        deadline = time.monotonic() + min(self.timeout, 10.0)
        last = "the image did not appear"
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise ProgramError(f"{self.program} ended at start-up with exit status "
                                   f"{self.process.returncode}\n{self.describe()}")
            try:
                image = Image(self.image_name, symbols=self._symbols)
            except ImageError as e:
                last = str(e)
            else:
                if image.pid == self.process.pid and image.status == "STOP":
                    return image
                image.close()
            time.sleep(0.005)
        raise ProgramError(f"{self.program} did not start on image {self.image_name}: {last}\n{self.describe()}")

    def _plant_mode(self) -> Optional[str]:
        if not self._plant:
            return None
        if self._plant in ("stepped", "qvctl"):
            if self._plant == "qvctl" and self._stepped:
                raise ValueError("a qvctl plant follows a running program; it cannot be stepped")
            return self._plant
        if self._plant is not True:
            raise ValueError(f'plant is True, "stepped" or "qvctl", not {self._plant!r}')
        # No process can follow a program that does not wait between its cycles.
        return "stepped" if self.speed == "max" or self._stepped else "qvctl"

    def _start_qvctl_plant(self, env):
        beside = os.path.join(os.path.dirname(self.path), "qvctl")
        qvctl = beside if os.access(beside, os.X_OK) else shutil.which("qvctl")
        if qvctl is None:
            raise ProgramError("qvctl is not found beside the program nor on PATH, so no plant can run")
        log = open(os.path.join(self.folder, "plant.txt"), "wb")
        with log:
            self.plant_process = subprocess.Popen([qvctl, "--name", self.image_name, "plant", "--quiet"],
                                                  cwd=self.folder, env=env, stdin=subprocess.DEVNULL,
                                                  stdout=log, stderr=subprocess.STDOUT)

    # ---- Finish ----------------------------------------------------------------------------

    def finish(self):
        """Ends the program (killing it if it does not end), stops the plant, keeps the
        console output and trace, removes the image and the folder."""
        try:
            if self.image is not None and self.process.poll() is None:
                with contextlib.suppress(QvError):
                    self.image.end(timeout=5.0)
            if self.process is not None:
                try:
                    self.exit_status = self.process.wait(timeout=5.0)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.exit_status = self.process.wait()
            if self.plant_process is not None:
                if self.plant_process.poll() is None:
                    self.plant_process.send_signal(signal.SIGTERM)
                try:
                    self.plant_process.wait(timeout=5.0)
                except subprocess.TimeoutExpired:
                    self.plant_process.kill()
                    self.plant_process.wait()
            self.console = _tail(self.console_path, 10**9)
            self.trace = _tail(self.trace_path, 10**9)
        finally:
            if self.image is not None:
                self.image.close()
            _remove_image(self.image_name)
            shutil.rmtree(self.folder, ignore_errors=True)

    def describe(self) -> str:
        """Where the program's console is kept, and the last telling lines of it and of
        its trace (status changes and pause lines left out)."""
        console = self.console or _tail(self.console_path, 10**6)
        trace = self.trace or _tail(self.trace_path, 10**6)
        parts = [f"--- {self.program} console (last lines, status changes left out; all of it in "
                 f"{self.console_path}) ---", _telling(console, _CONSOLE_NOISE) or "(nothing)"]
        if trace:
            parts += [f"--- {self.program}.trc (last lines, pause lines left out) ---",
                      _telling(trace, _TRACE_NOISE) or "(only pause lines)"]
        return "\n".join(parts)

    def discard_log(self):
        """Removes the console's log file (the run went well)."""
        with contextlib.suppress(OSError):
            os.unlink(self.console_path)


def _remove_image(name: str):
    with contextlib.suppress(FileNotFoundError):
        os.unlink(f"/dev/shm/{name}")


@contextlib.contextmanager
def start(program: str, speed: Union[None, str, float] = None, plant: Union[bool, str] = False,
          period: Optional[float] = None, timeout: float = 60.0, symbols: Optional[str] = None,
          env: Optional[dict] = None, stepped: Optional[bool] = None) -> Iterator[Image]:
    """Starts `program` (a path, or a name found on PATH) in a temporary folder on an
    image of its own and yields its Image, the program waiting in STOP.

    speed:   QV_SPEED for the program: a factor above 0, or "max" (no wait between cycles).
    plant:   True plays the program's machine beside it: `qvctl plant` following the
             running program, or, at speed "max" or when stepped, a plant stepped with the
             program inside the client (image.plant). "stepped" or "qvctl" choose one.
    stepped: True makes run() and the waits drive the program one STEP at a time, so that
             every wait is exact to the cycle (see Image.wait_until).
    period:  the cycle period in milliseconds (simuperiod), else the model's own.
    timeout: seconds the start may take; the program also ends by itself after this long
             (at least a minute) in STOP if the client goes away.

    On leaving, the program is ended (or killed), the plant stopped, the image and folder
    removed. The console output and the trace file are kept on the yielded image's
    `started` (a Program). The console is written to a log file (QV_LOG_DIR, else qv_logs
    in the temporary folder): when the body failed, the file stays and the failure's
    message names it, with the last lines of the console and trace that tell something
    (status changes and pause lines left out); otherwise it is removed."""
    run = Program(_find_program(program), speed, plant, period, timeout, symbols, env, stepped)
    try:
        image = run.start()
        image.started = run
        yield image
    except BaseException as failure:
        run.finish()
        _add_note(failure, run.describe())
        raise
    else:
        run.finish()
        if not getattr(image, "keep_log", False):
            run.discard_log()


def _add_note(failure: BaseException, text: str):
    if isinstance(failure, (KeyboardInterrupt, SystemExit, GeneratorExit)) or not text:
        return
    # The client's own failures already tell the program's output.
    if isinstance(failure, QvError) and "console (last lines" in str(failure):
        return
    if hasattr(failure, "add_note"):  # Python 3.11
        failure.add_note(text)
    else:  # the failure's own message stays as it is; the test runner shows standard error
        sys.stderr.write(text + "\n")
