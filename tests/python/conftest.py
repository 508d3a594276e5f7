"""What the scenarios of compiled programs share: building a program with qvc."""

import os
import subprocess

import pytest


@pytest.fixture
def qvc_build(tmp_path):
    """Builds an IEC 61131-3 source with qvc into the test's folder; returns the program's path."""
    def build(source):
        qvc = os.path.join(os.environ.get("QV_BIN", ""), "qvc")
        program = tmp_path / source.stem
        result = subprocess.run([qvc, "build", str(source), "-o", str(program)], capture_output=True, text=True)
        assert result.returncode == 0, result.stdout + result.stderr
        return str(program)
    return build
