"""Helpers of the browser tests: real programs on images of their own, qvctl serve on a
free port, and headless Chromium driven by Selenium."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.request

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

BIN = os.environ.get("QV_BIN", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
QVCTL = os.path.join(BIN, "qvctl")


def wait_for(condition, timeout=15.0, what="a condition"):
    """Polls until condition() is true; returns its value."""
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.time() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def free_port(host="127.0.0.1"):
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


class Cell:
    """A program running from a folder of its own on an image of its own."""

    def __init__(self, program, folder, executable=None, **env):
        self.image = "qvb_%d_%s" % (os.getpid(), program[:8])  # names stay under 30 characters
        self.folder = folder
        self.env = dict(os.environ, QV_MEMORY_NAME=self.image, QV_TIMEOUT="120", **env)
        self.qvctl("remove", check=False)
        source = executable or os.path.join(BIN, program)
        path = os.path.join(folder, program)
        if not os.path.exists(path):
            os.symlink(os.path.abspath(source), path)
        self.process = subprocess.Popen([path], env=self.env, cwd=folder,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: "status     STOP" in self.qvctl("status", check=False), what=program + " in STOP")

    def qvctl(self, *args, check=True):
        result = subprocess.run([QVCTL, *args], env=self.env, capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise AssertionError("qvctl %s: %s" % (" ".join(args), result.stderr))
        return result.stdout

    def get(self, name):
        """The value of a variable as qvctl prints it, and whether it is forced."""
        line = self.qvctl("get", name).strip()
        value = line.split(" = ", 1)[1]
        return value.replace(" (forced)", ""), value.endswith("(forced)")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(5)
        self.qvctl("remove", check=False)


class Server:
    """qvctl serve on the cell's image."""

    def __init__(self, cell, *args, listen="127.0.0.1"):
        self.port = free_port(listen)
        self.process = subprocess.Popen([QVCTL, "serve", "--port", str(self.port), "--listen", listen, *args],
                                        env=cell.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.lines = [self.process.stdout.readline() for _ in range(2)]
        self.url = next(l.split()[1] for l in self.lines if l.startswith("open "))
        self.base = "http://%s:%d/" % (listen, self.port)
        wait_for(self.answers, what="qvctl serve to answer")

    def answers(self):
        try:
            return urllib.request.urlopen(self.base, timeout=1).status == 200
        except OSError:
            return False

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        self.process.kill()
        self.process.wait(5)


@pytest.fixture
def folder():
    path = tempfile.mkdtemp(prefix="qv_browser_")
    yield path
    shutil.rmtree(path, ignore_errors=True)


@pytest.fixture
def start(folder):
    """start(program) runs a program; serve(cell, ...) serves its image. All end with the test."""
    started = []

    class Starter:
        def cell(self, program, executable=None, **env):
            started.append(Cell(program, folder, executable, **env))
            return started[-1]

        def serve(self, cell, *args, **kwargs):
            started.append(Server(cell, *args, **kwargs))
            return started[-1]

    yield Starter()
    for thing in reversed(started):
        thing.stop()


@pytest.fixture
def browser(folder):
    options = webdriver.ChromeOptions()
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run",
                     "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--window-size=1300,1600"):
        options.add_argument(argument)
    options.add_argument("--user-data-dir=" + os.path.join(folder, "chromium"))
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    yield driver
    driver.quit()


class Page:
    """The panel as a person uses it: buttons by their text, rows by variable name."""

    def __init__(self, driver, url):
        self.driver = driver
        driver.get(url)
        wait_for(lambda: self.status() not in ("", "…"), what="the page's first update")

    def status(self):
        return self.driver.find_element(By.ID, "status").text

    def text(self, element_id):
        return self.driver.find_element(By.ID, element_id).text

    def press(self, text):
        self.driver.find_element(By.XPATH, "//button[normalize-space()='%s']" % text).click()

    def row(self, name):
        return self.driver.find_element(By.CSS_SELECTOR, "tr[data-var='%s']" % name)

    def value(self, name):
        return self.row(name).find_element(By.CSS_SELECTOR, "[data-value]").text

    def write(self, name, value, how="set"):
        row = self.row(name)
        box = row.find_element(By.CSS_SELECTOR, "input.edit")
        box.clear()
        box.send_keys(value)
        row.find_element(By.XPATH, ".//button[text()='%s']" % how).click()

    def message(self):
        return self.text("message")

    def script(self, code, *args):
        return self.driver.execute_script(code, *args)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """A failed test leaves a screenshot of its page where QV_SCREENSHOTS says."""
    outcome = yield
    report = outcome.get_result()
    driver = item.funcargs.get("browser") if hasattr(item, "funcargs") else None
    if report.when == "call" and report.failed and driver is not None and os.environ.get("QV_SCREENSHOTS"):
        driver.save_screenshot(os.path.join(os.environ["QV_SCREENSHOTS"], item.name + "-failed.png"))


QVC = os.path.join(BIN, "qvc")
EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples")


@pytest.fixture
def compiled(folder):
    """compiled(source, name) builds an IEC source with qvc into the test's folder and
    returns the program's path, its description beside it."""
    def build(source, name, *args):
        path = os.path.join(folder, name)
        result = subprocess.run([QVC, "build", os.path.abspath(source), "-o", path, *args],
                                capture_output=True, text=True, timeout=300)
        if result.returncode != 0:
            raise AssertionError("qvc build %s: %s" % (source, result.stderr))
        return path
    return build
