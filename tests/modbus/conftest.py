"""Fixtures of the Modbus tests: a program on an image of its own, qvctl modbus serve or
poll beside it, ports found free at run time, and everything removed afterwards."""

import os
import socket
import subprocess
import time

import pytest

BIN = os.environ.get("QV_BIN", "")


def tool(name):
    path = os.path.join(BIN, name)
    if not os.access(path, os.X_OK):
        pytest.skip(f"QV_BIN names no build with {name}")
    return path


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def qvctl(image, *words, check=True):
    done = subprocess.run([tool("qvctl"), "--name", image, *words], capture_output=True, text=True, timeout=30)
    if check and done.returncode != 0:
        raise AssertionError(f"qvctl {' '.join(words)}: {done.stderr}")
    return done


def wait_for(condition, seconds=10.0, what="the condition"):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError(f"timed out waiting for {what}")


class Program:
    """A program on its own image, started in STOP."""

    def __init__(self, program, image, folder, speed=None):
        env = dict(os.environ, QV_MEMORY_NAME=image, QV_TRACE_FILE=os.path.join(folder, image + ".trc"))
        if speed:
            env["QV_SPEED"] = speed
        self.image = image
        self.log = open(os.path.join(folder, image + ".log"), "w")
        self.process = subprocess.Popen([tool(program)], env=env, cwd=folder, stdout=self.log, stderr=subprocess.STDOUT)
        wait_for(lambda: qvctl(image, "status", check=False).returncode == 0 and
                 "STOP" in qvctl(image, "status", check=False).stdout, what=f"{program} to start")

    def get(self, name):
        line = qvctl(self.image, "get", name).stdout.strip()
        return line.split(" = ", 1)[1]

    def end(self):
        if self.process.poll() is None:
            qvctl(self.image, "end", check=False)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


class Face:
    """qvctl modbus serve or poll, its console read line by line."""

    def __init__(self, image, words, folder, name="face"):
        self.path = os.path.join(folder, f"{name}.log")
        self.out = open(self.path, "w")
        self.process = subprocess.Popen([tool("qvctl"), "--name", image, "modbus", *words],
                                        stdout=self.out, stderr=subprocess.STDOUT)

    def text(self):
        with open(self.path) as f:
            return f.read()

    def wait_for_line(self, fragment, seconds=10.0):
        return wait_for(lambda: fragment in self.text(), seconds, f"{fragment!r} on the console:\n{self.text()}")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.out.close()


@pytest.fixture
def folder(tmp_path):
    return str(tmp_path)


@pytest.fixture
def images():
    """Image names of this test; each removed afterwards."""
    names = []

    def make(tag):
        name = f"qvmb_{os.getpid()}_{tag}_{len(names)}"
        names.append(name)
        return name

    yield make
    for name in names:
        try:
            os.unlink(f"/dev/shm/{name}")
        except FileNotFoundError:
            pass


@pytest.fixture
def started():
    """Starts programs and faces; ends them all afterwards."""
    things = []

    def keep(thing):
        things.append(thing)
        return thing

    yield keep
    for thing in reversed(things):
        if isinstance(thing, Face):
            thing.stop()
        else:
            thing.end()
