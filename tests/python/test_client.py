"""The client itself: its layout facts agree with the C++ sources, it refuses malformed
images and nonsense writes, and it speaks the image protocol as qvctl does."""

import json
import os
import struct
import subprocess

import pytest

import qv
from qv import generated as g

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATED = os.path.join(HERE, "..", "..", "clients", "python", "qv", "generated.py")


def test_generated_facts_match_the_cpp_sources():
    folder = os.environ.get("QV_BIN")
    tool = os.path.join(folder or "", "qv_python_tables")
    if not folder or not os.access(tool, os.X_OK):
        pytest.skip("QV_BIN names no build with qv_python_tables")
    printed = subprocess.run([tool], check=True, capture_output=True, text=True).stdout
    with open(GENERATED, encoding="utf-8") as f:
        assert printed == f.read(), \
            "clients/python/qv/generated.py is out of date: cmake --build build --target python_tables"


@pytest.fixture
def shm():
    """Writes a file image of its own in /dev/shm and removes it afterwards."""
    names = []

    def make(data: bytes) -> str:
        name = f"qvpy_test_{os.getpid()}_{len(names)}"
        # Private to this user, as a program makes its image: the client uses no other.
        with open(os.open(f"/dev/shm/{name}", os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "wb") as f:
            f.write(data)
        names.append(name)
        return name

    yield make
    for name in names:
        try:
            os.unlink(f"/dev/shm/{name}")
        except FileNotFoundError:
            pass


def laid_out(counts, size=None) -> bytearray:
    """A revision 3 header for the slot counts, as a program lays it out."""
    header, counts_at, offsets_at, char_size, _, _ = g.LAYOUTS[3]
    sizes = (g.BOOL_SLOT_SIZE, g.INT_SLOT_SIZE, g.REAL_SLOT_SIZE, char_size)
    offsets, at = [], header
    for area in range(4):
        at = (at + sizes[area] - 1) // sizes[area] * sizes[area]
        offsets.append(at)
        at += sizes[area] * counts[area]
    image = bytearray(size or at)
    struct.pack_into("<I", image, 0, len(image))
    struct.pack_into("<4i", image, counts_at, *counts)
    struct.pack_into("<4i", image, offsets_at, *offsets)
    return image


def test_malformed_images_are_refused_with_a_reason(shm):
    with pytest.raises(qv.ImageError, match="no image named"):
        qv.Image("qvpy_no_such_image")
    with pytest.raises(qv.ImageError, match="has not been laid out"):
        qv.Image(shm(bytes(100)))
    with pytest.raises(qv.ImageError, match="has not been laid out"):
        qv.Image(shm(os.urandom(30000)))
    # A header that points past the image's end (a program that refused a small image).
    short = laid_out((40, 555, 17, 53))[:27000]
    with pytest.raises(qv.ImageError, match="character area ends at 27452, past the image's 27000 bytes"):
        qv.Image(shm(bytes(short)))
    damaged = laid_out((40, 555, 17, 53))
    struct.pack_into("<i", damaged, g.LAYOUTS[3][2] + 4, 1 << 30)
    with pytest.raises(qv.ImageError, match="integer area starts at 1073741824"):
        qv.Image(shm(bytes(damaged)))
    with pytest.raises(qv.ImageError, match="cannot hold the control variables"):
        qv.Image(shm(bytes(laid_out((40, 100, 17, 53)))))


def test_a_symbol_description_names_an_unknown_programs_slots(shm, tmp_path):
    name = shm(bytes(laid_out((12, 600, 20, 60))))
    path = tmp_path / "press.symbols.json"
    path.write_text(json.dumps({
        "format": "qv-symbols", "version": 1, "program": "press", "revision": 3,
        "variables": [
            {"name": "Start", "type": "BOOL", "area": "bool", "slot": 6, "direction": "input", "comment": ""},
            {"name": "Count", "type": "DINT", "area": "int", "slot": 523, "direction": "output", "comment": ""},
            {"name": "Force", "type": "REAL", "area": "real", "slot": 17, "direction": "internal"},
            {"name": "Dwell", "type": "TIME", "area": "int", "slot": 530, "direction": "internal"}],
        "objects": []}))
    with qv.Image(name) as bare:
        assert bare.program is None
        with pytest.raises(qv.UnknownVariable, match="name slots as B5"):
            bare["Start"]
    with qv.Image(name, symbols=str(path)) as press:
        assert press.program == "press" and press.revision == 3
        press["Start"] = True
        press["Count"] = -7
        press["Force"] = 2.5
        press["Dwell"] = "T#1.5s"
        assert (press["B6"], press["I523"], press["Force"], press["Dwell"]) == (True, -7, 2.5, 1.5)
        assert press.raw("I", 533) == 15000  # the ticks slot of the TIME
        with pytest.raises(qv.ImageError, match="holds press, not bistable_cylinder"):
            qv.Image(name, model="bistable_cylinder", symbols=str(path))
    path.write_text('{"format": "qv-symbols", "version": 1, "program": "press", "variables": [{"name": "X"}]}')
    with pytest.raises(qv.ImageError, match="X has type None"):
        qv.Image(name, symbols=str(path))


def test_a_version_two_description_gives_every_type_and_source_lines(shm, tmp_path):
    """The types of a compiled program, written and read as qvctl does; a bare number for a
    TIME refused as in qvctl; the control words checked by slot; breakpoints on source lines."""
    import datetime
    name = shm(bytes(laid_out((40, 560, 17, 70))))
    path = tmp_path / "conveyor.symbols.json"
    path.write_text(json.dumps({
        "format": "qv-symbols", "version": 2, "program": "conveyor", "revision": 3,
        "variables": [
            {"name": "Main.Count", "type": "INT", "area": "int", "slot": 523, "direction": "internal",
             "comment": "", "address": "%MW0"},
            {"name": "Main.Mode", "type": "ENUM", "enum": "Mode", "area": "int", "slot": 524,
             "direction": "internal", "comment": ""},
            {"name": "Main.Mask", "type": "WORD", "area": "int", "slot": 526, "direction": "internal"},
            {"name": "Main.Wide", "type": "DWORD", "area": "int", "slot": 528, "direction": "internal"},
            {"name": "Main.Timer1.ET", "type": "TIME", "area": "int", "slot": 530, "direction": "internal"},
            {"name": "Main.Day", "type": "DATE", "area": "int", "slot": 534, "direction": "internal"},
            {"name": "Main.Clock", "type": "TIME_OF_DAY", "area": "int", "slot": 537, "direction": "internal"},
            {"name": "Main.Stamp", "type": "DATE_AND_TIME", "area": "int", "slot": 540, "direction": "internal"},
            {"name": "Main.Label", "type": "STRING", "length": 8, "area": "char", "slot": 53,
             "direction": "internal", "comment": ""},
            {"name": "Main.Start", "type": "BOOL", "area": "bool", "slot": 5, "direction": "input",
             "comment": "start button", "operator": True}],
        "enums": [{"name": "Mode", "values": [{"name": "Idle", "value": 0}, {"name": "Run", "value": 1}]}],
        "sources": [{"file": "conveyor.st", "path": "/src/conveyor.st"}],
        "locations": [{"location": 12, "file": "conveyor.st", "line": 12, "column": 5, "endColumn": 20}],
        "instances": [{"number": 1, "path": "Main", "type": "Main"},
                      {"number": 2, "path": "Main.Timer1", "type": "Tick"}],
        "objects": []}))
    with qv.Image(name, symbols=str(path)) as c:
        assert c.variable("Main.Start").operator and c.variable("Main.Count").address == "%MW0"
        c["Main.Count"] = "16#7FFF"
        c["Main.Mode"] = "Run"
        c["Main.Mask"] = "16#00ff"
        c["Main.Wide"] = 4294967295
        c["Main.Timer1.ET"] = "T#1h2m3.5s"
        c["Main.Day"] = "D#2024-01-31"
        c["Main.Clock"] = "TOD#12:00:00.5"
        c["Main.Stamp"] = "DT#1969-12-31-23:59:59.9999"
        c["Main.Label"] = "'it$'s $$5'"
        assert (c["Main.Count"], c["Main.Mode"], c["Main.Mask"], c["Main.Wide"], c["Main.Timer1.ET"]) == \
            (32767, "Run", 255, 4294967295, 3723.5)
        assert c["Main.Day"] == datetime.date(2024, 1, 31) and c.raw("I", 536) == 19753
        assert c["Main.Clock"] == datetime.time(12, 0, 0, 500000) and c.raw("I", 539) == 432005000
        assert c["Main.Stamp"] == datetime.datetime(1969, 12, 31, 23, 59, 59, 999900)
        assert (c.raw("I", 542), c.raw("I", 543)) == (-1, 863999999)
        assert c["Main.Label"] == "it's $5" and c.raw("C", 56) == ord("i")
        assert qv.values.format_value(c.variable("Main.Stamp"), c["Main.Stamp"]) == "DT#1969-12-31-23:59:59.9999"
        assert qv.values.format_value(c.variable("Main.Mask"), c["Main.Mask"]) == "16#00FF"
        for var, value, message in (
                ("Main.Count", 32768, "Main.Count is an INT: give a whole number from -32768 to 32767"),
                ("Main.Mode", 2, "Main.Mode is a Mode: give one of Idle, Run"),
                ("Main.Timer1.ET", 10, "Main.Timer1.ET is a TIME: a number needs a unit, as in T#10s or 10s"),
                ("Main.Day", "D#2023-02-29", "Main.Day is a DATE"),
                ("Main.Label", "123456789", r"Main.Label is a STRING\[8\]: give at most 8 characters"),
                ("I311", 42, "I311 takes FREE, STOP, RUN, STEP, END or PAUSE"),
                ("F10", 0, "F10 takes a period in microseconds above 0")):
            with pytest.raises(qv.RefusedWrite, match=message):
                c[var] = value
        c.set("F10", 0, raw=True)
        c.add_breakpoint("conveyor.st:12")
        c.add_breakpoint("Main.Timer1@/src/conveyor.st:12")
        assert c.breakpoints()["location"] == [(12, 1), (12, 2)]
        assert c.breakpoints()["lines"] == ["conveyor.st:12 in Main", "conveyor.st:12 in Main.Timer1"]
        with pytest.raises(qv.RefusedWrite, match="no statement of the program starts on line 13 of conveyor.st"):
            c.add_breakpoint("conveyor.st:13")
        c.remove_breakpoint("conveyor.st:12")
        assert c.breakpoints()["location"] == []
        assert c.location_name(12, 2) == "conveyor.st:12 in Main.Timer1"
        # Paused there: named by its source line and instance path.
        c.set("execstatus", "PAUSE")
        c.set("bpcurrentlocation", 12, raw=True)
        c.set("bpcurrentinstance", 2, raw=True)
        assert c.paused_at == (12, 2)
        assert c.paused_where == c.paused_line == "conveyor.st:12 in Main.Timer1"


@pytest.mark.parametrize("where", ["/dev/zero", "fifo", "folder", "sparse"])
def test_a_description_is_read_only_from_a_bounded_regular_file(shm, tmp_path, where):
    name = shm(bytes(laid_out((40, 560, 17, 70))))
    path = {"/dev/zero": "/dev/zero", "fifo": str(tmp_path / "fifo"), "folder": str(tmp_path),
            "sparse": str(tmp_path / "sparse")}[where]
    if where == "fifo":
        os.mkfifo(path)
    if where == "sparse":
        with open(path, "wb") as f:
            f.truncate(4 << 30)
    message = {"/dev/zero": "is a device", "fifo": "is a FIFO", "folder": "is a folder",
               "sparse": "holds 4294967296 bytes; a symbol description is at most 64 MiB"}[where]
    with pytest.raises(qv.ImageError, match=message):
        qv.Image(name, symbols=path)


def test_the_protocol_against_a_running_program(qv_program):
    c = qv_program("bistable_cylinder", stepped=True)
    assert (c.program, c.revision, c.status) == ("bistable_cylinder", 3, "STOP")

    # Nonsense control writes are refused, and written when asked for raw.
    for name, value in (("execstatus", 9), ("simuperiod", 0), ("simuperiod", -5.0),
                        ("simuperiod", float("nan")), ("pospid", 0), ("DS", 2), ("DS", "yes")):
        with pytest.raises(qv.RefusedWrite):
            c[name] = value
    assert c.pid == c.started.process.pid and c.period == 50000.0
    c.set("mxmaxvariablemodification", 3.0, raw=True)
    assert c["mxmaxvariablemodification"] == 3.0

    # Forcing holds an output against the model; a data breakpoint stops the program.
    c.force("OrdreR", True)
    c.trace_add("CR", "OrdreR", "EtatR")
    c.trace_on()
    c["CR"] = True
    assert c.step(3) == "STOP"
    assert c["EtatR"] and c["OrdreR"] and c.forced("OrdreR")
    c.unforce("OrdreR")
    c.step()
    assert c["OrdreR"] and not c.forced("OrdreR"), "released, it keeps its value until the model writes it"
    assert c.traced() == ["CR", "OrdreR", "EtatR"]

    c.add_breakpoint("OrdreS")
    c.add_breakpoint(20, 1)
    assert c.breakpoints() == {"data": ["OrdreS"], "location": [(20, 1)]}
    c.remove_breakpoint(20, 1)
    c["DS"] = True
    c.stepped = False
    c.run()
    c.wait_until(lambda image: image.status == "STOP", cycles=5)
    assert c["OrdreS"]

    with pytest.raises(qv.WaitTimeout) as failure:
        c.wait_until(lambda image: image["EtatS"] and not image["CR"], cycles=3, timeout=2)
    message = str(failure.value)
    assert "EtatS = FALSE" in message and "status STOP" in message
    # The console is named by its log file, which holds it whole; the message leaves out the
    # status changes that would bury what went wrong.
    assert "Exec status change" not in message and c.started.console_path in message
    with open(c.started.console_path) as log:
        assert "Exec status change from RUN to STOP" in log.read()
    c.end()
    assert c.pid == 0 and not c.alive


def as_other_user(command: str) -> bool:
    """Runs a shell command as the unprivileged user 65534; False where that cannot be done."""
    if os.geteuid() != 0 or not os.path.exists("/usr/bin/setpriv"):
        return False
    subprocess.run(["/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/sh", "-c",
                    command], check=True, timeout=30)
    return True


def test_images_of_others_links_shrinking_and_mislabelled_programs(shm, tmp_path):
    name = shm(bytes(laid_out((12, 600, 20, 60))))
    # Open to others: refused, whoever made it.
    os.chmod(f"/dev/shm/{name}", 0o666)
    with pytest.raises(qv.ImageError, match=f'image "{name}" belongs to user {os.geteuid()} with mode 0666; '
                                            f'it is not used'):
        qv.Image(name)
    os.chmod(f"/dev/shm/{name}", 0o600)

    # A link under an image's name is not followed, and its target is not written.
    precious = tmp_path / "precious"
    precious.write_bytes(bytes(laid_out((12, 600, 20, 60))))
    linked = f"qvpy_link_{os.getpid()}"
    os.symlink(precious, f"/dev/shm/{linked}")
    try:
        with pytest.raises(qv.ImageError, match=f'image "{linked}" is a symbolic link belonging to user'):
            qv.Image(linked)
    finally:
        os.unlink(f"/dev/shm/{linked}")
    assert precious.read_bytes() == bytes(laid_out((12, 600, 20, 60)))

    # Another user's image, private to that user: still not this user's.
    squatted = f"qvpy_squat_{os.getpid()}"
    if as_other_user(f"umask 077 && head -c 30000 /dev/zero > /dev/shm/{squatted}"):
        try:
            with pytest.raises(qv.ImageError, match=f'image "{squatted}" belongs to user 65534 with mode 0600'):
                qv.Image(squatted)
        finally:
            os.unlink(f"/dev/shm/{squatted}")
    else:
        print("not root, or no setpriv: the image of another user is not tried")

    # A description that claims a program's name does not make the plant play it.
    path = tmp_path / "press.symbols.json"
    path.write_text(json.dumps({
        "format": "qv-symbols", "version": 1, "program": "bistable_cylinder", "revision": 3,
        "variables": [{"name": n, "type": "BOOL", "area": "bool", "slot": 6 + k, "direction": "input"}
                      for k, n in enumerate(("CS", "CR", "OrdreS", "OrdreR", "DS", "DR"))],
        "objects": []}))
    with qv.Image(name, symbols=str(path)) as image:
        assert image.program == "bistable_cylinder" and image.recognised is None
        with pytest.raises(qv.ImageError, match="plays only a program it recognises by its image"):
            qv.Plant(image)
        assert image.raw("B", 6) is False

        # An image that shrinks under the client: a refusal, not a crash.
        os.truncate(f"/dev/shm/{name}", 1000)
        with pytest.raises(qv.ImageError, match=f'image "{name}" shrank to 1000 bytes while mapped'):
            image.raw("B", 6)
