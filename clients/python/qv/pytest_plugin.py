"""pytest plugin: the fixture `qv_program` starts programs for a test and cleans up.

    def test_travel_fault(qv_program):
        cylinder = qv_program("bistable_cylinder", speed="max")
        ...

It takes the arguments of qv.start and returns the program's Image; every program a test
started is ended, and its image and folder removed, when the test ends. When the test
failed, the last telling lines of the programs' consoles and trace files are added to its
report, and each console stays in its log file (QV_LOG_DIR, else qv_logs in the temporary
folder), named there; a passing test leaves no log behind.

Enabled by the package's entry point once installed with pip, or with
`-p qv.pytest_plugin` (or `pytest_plugins = ["qv.pytest_plugin"]` in a conftest.py).
The option --qv-bin DIR (or the environment variable QV_BIN) names a folder searched for
programs before PATH."""

from __future__ import annotations

import contextlib
import os

import pytest

from .process import start


def pytest_addoption(parser):
    parser.addoption("--qv-bin", default=None, metavar="DIR",
                     help="folder searched for simulation programs (and qvctl) before PATH")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, f"_qv_report_{report.when}", report)


@pytest.fixture
def qv_program(request):
    folder = request.config.getoption("--qv-bin") or os.environ.get("QV_BIN")
    stack = contextlib.ExitStack()
    images = []

    def start_program(program, **options):
        if folder and os.sep not in program and os.access(os.path.join(folder, program), os.X_OK):
            program = os.path.join(folder, program)
        image = stack.enter_context(start(program, **options))
        images.append(image)
        return image

    yield start_program
    report = getattr(request.node, "_qv_report_call", None)
    failed = report is not None and report.failed
    for image in images:
        image.keep_log = failed  # a failed test keeps the consoles it names
    stack.close()
    if failed:
        for image in images:
            request.node.add_report_section("teardown", f"qv {image.started.program}",
                                            f"exit status {image.started.exit_status}\n{image.started.describe()}")
