"""qvctl modbus serve against Debian's pymodbus as its client: every table through the
default map and through map files, every refusal, malformed and abandoned connections,
32 clients at once, multi-register values never torn, a restart of the program."""

import json
import os
import socket
import struct
import subprocess
import threading
import time

import pytest
from pymodbus.client import ModbusTcpClient
from pymodbus.exceptions import ConnectionException
from pymodbus.other_message import ReportSlaveIdRequest

from conftest import Face, Program, free_port, qvctl, tool, wait_for

ILLEGAL_FUNCTION, ILLEGAL_ADDRESS, ILLEGAL_VALUE, SERVER_FAILURE, GATEWAY_TARGET = 1, 2, 3, 4, 11

DEFAULT_MAP = """name,table,address,type,words,word_order,writable
Enable,coil,0,BOOL,1,,true
Ready,discrete_input,0,BOOL,1,,false
Pattern,input_register,0,DINT,2,big,false
PatternCopy,input_register,2,DINT,2,big,false
Output,input_register,4,REAL,2,big,false
Cycles,input_register,6,DINT,2,big,false
Setpoint,holding_register,0,DINT,2,big,true
Gain,holding_register,2,REAL,2,big,true
"""


def client(port):
    c = ModbusTcpClient("127.0.0.1", port=port, timeout=3, retries=0)
    assert c.connect()
    return c


def refusal(response):
    assert response.isError(), response
    return response.exception_code


def words_of_real(value, order=">"):
    high, low = struct.unpack(">HH", struct.pack(">f", value))
    return [high, low] if order == ">" else [low, high]


def real_of(words):
    return struct.unpack(">f", struct.pack(">HH", *words))[0]


def dint_of(words):
    return struct.unpack(">i", struct.pack(">HH", *words))[0]


def serve(image, folder, started, *words, name="serve"):
    port = free_port()
    face = started(Face(image, ["serve", "--port", str(port), *words], folder, name))
    face.wait_for_line("listening on 127.0.0.1 port")
    return face, port


def test_default_map_reads_and_writes_every_table_and_refuses_what_set_refuses(folder, images, started):
    image = images("default")
    program = started(Program("modbus_test_model", image, folder))
    assert qvctl(image, "modbus", "map").stdout == DEFAULT_MAP
    _, port = serve(image, folder, started, "--unit", "1")
    c = client(port)

    # Inputs: a coil and two holding registers pairs, through qvctl's own checks.
    assert not c.write_coil(0, True).isError()
    assert not c.write_registers(0, [1, 4464] + words_of_real(2.5)).isError()  # 70000, 2.5
    assert program.get("Enable") == "TRUE" and program.get("Setpoint") == "70000" and program.get("Gain") == "2.5"
    assert c.read_holding_registers(0, 4).registers == [1, 4464] + words_of_real(2.5)
    qvctl(image, "step")
    wait_for(lambda: c.read_discrete_inputs(0, 1).bits[0], what="Ready after a cycle")
    registers = c.read_input_registers(0, 8).registers
    assert real_of(registers[4:6]) == 175000.0 and dint_of(registers[6:8]) == 1
    assert c.read_coils(0, 1).bits[0]

    # Refusals: nothing is written, and the server goes on.
    assert refusal(c.read_input_registers(8, 1)) == ILLEGAL_ADDRESS           # past the map
    assert refusal(c.read_input_registers(6, 3)) == ILLEGAL_ADDRESS           # runs past it
    assert refusal(c.read_holding_registers(0, 126)) == ILLEGAL_VALUE         # oversized
    assert refusal(c.write_coil(1, True)) == ILLEGAL_ADDRESS                 # no such coil
    assert refusal(c.write_register(1, 5)) == ILLEGAL_ADDRESS                # half of Setpoint
    assert refusal(c.write_registers(0, [0, 7] + words_of_real(float("nan")))) == ILLEGAL_VALUE
    assert program.get("Setpoint") == "70000"                                # all or nothing
    assert refusal(c.write_registers(2, [0x7F80, 0])) == ILLEGAL_VALUE      # infinity
    qvctl(image, "force", "Enable", "FALSE")
    assert refusal(c.write_coil(0, True)) == ILLEGAL_VALUE                   # forced
    assert program.get("Enable") == "FALSE (forced)"
    qvctl(image, "unforce", "Enable")
    assert refusal(c.execute(ReportSlaveIdRequest(unit=1))) == ILLEGAL_FUNCTION
    assert refusal(c.read_coils(0, 1, slave=7)) == GATEWAY_TARGET            # another device
    # Unit 255 is this device too; the tables follow the forced FALSE at their next refresh.
    wait_for(lambda: c.read_coils(0, 1, slave=255).bits[0] is False, what="the released coil read through unit 255")
    assert c.read_input_registers(0, 2).registers[0] == 1
    c.close()


def raw_exchange(port, frame, answer=True):
    with socket.create_connection(("127.0.0.1", port), timeout=3) as s:
        s.sendall(frame)
        if not answer:
            return b""
        try:
            return s.recv(260)
        except (socket.timeout, ConnectionResetError):
            return b""


def test_malformed_cut_and_unread_connections_leave_the_server_serving(folder, images, started):
    image = images("faults")
    started(Program("modbus_test_model", image, folder))
    face, port = serve(image, folder, started)
    mbap = lambda length, unit=1: struct.pack(">HHHB", 1, 0, length, unit)
    # A write of 2 registers that says it carries 9 bytes; an unknown function; a
    # length field far beyond any frame; bytes that are no frame at all.
    answer = raw_exchange(port, mbap(11) + bytes([16, 0, 0, 0, 2, 9, 0, 1, 0, 2]))
    assert answer == b"" or answer[7] == 0x90
    assert raw_exchange(port, mbap(2) + bytes([0x2B]))[7:9] == bytes([0xAB, ILLEGAL_FUNCTION])
    raw_exchange(port, mbap(0xFFFF) + bytes([3, 0, 0, 0, 1]))
    raw_exchange(port, os.urandom(300))
    # Cut in the middle of a request; a client that writes requests and never reads.
    raw_exchange(port, mbap(6)[:5], answer=False)
    hog = socket.create_connection(("127.0.0.1", port))
    request = mbap(6) + bytes([4, 0, 0, 0, 125])
    hog.setblocking(False)
    sent = 0
    try:
        for _ in range(200000):
            sent += hog.send(request)
    except BlockingIOError:
        pass
    c = client(port)
    for _ in range(50):
        assert len(c.read_input_registers(0, 8).registers) == 8
    c.close()
    hog.close()
    assert face.process.poll() is None


def test_map_files_in_csv_and_json_replace_and_extend_the_default(folder, images, started):
    image = images("mapfile")
    program = started(Program("modbus_test_model", image, folder))
    csv_map = os.path.join(folder, "map.csv")
    with open(csv_map, "w") as f:
        f.write("name,table,address,type,words,word_order,writable\n"
                "Cycles,holding_register,100,DINT,1,,true\n"
                "Pattern,input_register,0,DINT,2,little,false\n"
                "Ready,coil,10,BOOL,1,,false\n"
                "taskname,input_register,50,STRING,4,,false\n"
                "execstatus,holding_register,200,DINT,1,,true\n")
    printed = qvctl(image, "modbus", "map", "--map", csv_map).stdout.splitlines()
    assert "Cycles,holding_register,100,DINT,1,,true" in printed
    assert "Setpoint,holding_register,0,DINT,2,big,true" in printed          # the default stays
    assert not any(line.startswith("Cycles,input_register") for line in printed)  # replaced
    _, port = serve(image, folder, started, "--map", csv_map)
    c = client(port)
    assert not c.write_register(100, 65535).isError()                        # -1 as a 16-bit INT
    assert program.get("Cycles") == "-1"
    assert bytes(b for w in c.read_input_registers(50, 4).registers for b in w.to_bytes(2, "big")) == b"modbus_t"
    assert refusal(c.write_coil(10, True)) == ILLEGAL_ADDRESS               # read-only
    assert refusal(c.write_register(200, 99)) == ILLEGAL_VALUE              # not a status
    qvctl(image, "step", "2")  # Cycles from -1 to 1
    pattern = wait_for(lambda: c.read_input_registers(0, 2).registers[0] or None, what="a cycle")
    assert c.read_input_registers(0, 2).registers == [pattern, pattern]
    c.close()

    # The printed JSON is a whole map: used as a map file it gives the same map.
    printed_json = qvctl(image, "modbus", "map", "--map", csv_map, "--format", "json").stdout
    json_map = os.path.join(folder, "map.json")
    with open(json_map, "w") as f:
        f.write(printed_json)
    assert json.loads(printed_json)["default"] is False
    assert qvctl(image, "modbus", "map", "--map", json_map).stdout.splitlines() == printed
    only = os.path.join(folder, "only.json")
    with open(only, "w") as f:
        json.dump({"default": False, "entries": [{"name": "Gain", "table": "holding_register", "address": 7,
                                                   "writable": True, "word_order": "little"}]}, f)
    assert qvctl(image, "modbus", "map", "--map", only).stdout.splitlines()[1:] == \
        ["Gain,holding_register,7,REAL,2,little,true"]

    # A map file that is wrong is refused with where and why, before anything serves.
    cases = {
        "name,table,address\nx,coil,1\n": "bad.csv:1:1: the first line is the header",
        "name,table,address,type,words,word_order,writable\nEnable,coils,0,,,,true\n": "bad.csv:2:8: unknown table",
        "name,table,address,type,words,word_order,writable\nEnable,coil,65536,,,,true\n": "bad.csv:2:13: the address",
        "name,table,address,type,words,word_order,writable\nGain,holding_register,0,REAL,1,,true\n":
            "line 2: Gain is a REAL, which takes 2 words, not 1",
        "name,table,address,type,words,word_order,writable\nPattern,input_register,0,,,,true\n":
            "a client cannot write a input_register",
        "name,table,address,type,words,word_order,writable\nNoSuch,coil,0,,,,false\n": "no variable NoSuch",
        "name,table,address,type,words,word_order,writable\nCycles,holding_register,0,,,,false\n"
        "Gain,holding_register,1,,,,false\n": "line 3: Gain overlaps Cycles (line 2) at holding_register 1",
        '{"entries": [{"name": "Gain", "table": "coil", "address": 1}': "bad.csv:1:",
    }
    bad = os.path.join(folder, "bad.csv")
    for text, message in cases.items():
        with open(bad, "w") as f:
            f.write(text)
        for command in (["map"], ["serve", "--port", str(free_port())]):
            done = qvctl(image, "modbus", *command, "--map", bad, check=False)
            assert done.returncode == 1 and message in done.stderr, (text, done.stderr)


def test_located_variables_sit_where_soft_plc_users_expect_them(folder, images, started):
    image = images("located")
    program = started(Program("modbus_test_model", image, folder))
    program.end()  # the image stays, described by the file below
    description = os.path.join(folder, "located.symbols.json")
    with open(description, "w") as f:
        json.dump({"format": "qv-symbols", "version": 2, "program": "located", "revision": 3, "objects": [],
                   "variables": [
                       {"name": "Start", "type": "BOOL", "area": "bool", "slot": 5, "direction": "input",
                        "comment": "", "address": "%IX0.2"},
                       {"name": "Lamp", "type": "BOOL", "area": "bool", "slot": 6, "direction": "output",
                        "comment": "", "address": "%QX1.0"},
                       {"name": "Speed", "type": "DINT", "area": "int", "slot": 523, "direction": "internal",
                        "comment": "", "address": "%MD2"},
                       {"name": "Count", "type": "DINT", "area": "int", "slot": 524, "direction": "output",
                        "comment": "", "address": "%QW3"},
                       {"name": "Level", "type": "REAL", "area": "real", "slot": 17, "direction": "input",
                        "comment": ""},
                       {"name": "Other", "type": "DINT", "area": "int", "slot": 525, "direction": "output",
                        "comment": "", "address": "%ZZ1"}]}, f)
    printed = qvctl(image, "--symbols", description, "modbus", "map").stdout
    assert printed == ("name,table,address,type,words,word_order,writable\n"
                       "Lamp,coil,8,BOOL,1,,false\n"
                       "Start,coil,9,BOOL,1,,true\n"
                       "Start,discrete_input,2,BOOL,1,,false\n"
                       "Other,input_register,0,DINT,2,big,false\n"
                       "Count,holding_register,3,DINT,1,,false\n"
                       "Speed,holding_register,2052,DINT,2,big,true\n"
                       "Level,holding_register,2054,REAL,2,big,true\n")
    _, port = serve(image, folder, started, "--symbols", description, "--word-order", "little")
    c = client(port)
    assert not c.write_registers(2052, [0x5678, 0x1234]).isError()
    assert qvctl(image, "get", "I523").stdout.strip() == "I523 = 305419896"
    assert not c.write_coil(9, True).isError()
    assert c.read_discrete_inputs(2, 1).bits[0]
    assert refusal(c.write_coil(8, True)) == ILLEGAL_ADDRESS
    c.close()


def test_32_clients_at_once_each_read_from_one_cycle(folder, images, started):
    image = images("crowd")
    started(Program("modbus_test_model", image, folder, speed="10"))
    _, port = serve(image, folder, started)
    qvctl(image, "run")
    problems, seen = [], set()
    go = threading.Barrier(32)

    def reader(k):
        try:
            c = client(port)
            go.wait()
            for n in range(150):
                words = c.read_input_registers(0, 4).registers
                # Pattern and PatternCopy: one cycle's, both halves of each alike.
                if len(set(words)) != 1:
                    problems.append(words)
                seen.add(words[0])
                if k == 0 and n % 10 == 0:
                    assert not c.write_registers(0, [0, n]).isError()
            c.close()
        except Exception as error:  # noqa: BLE001 - every failure is a finding
            problems.append(repr(error))

    threads = [threading.Thread(target=reader, args=(k,)) for k in range(32)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    assert problems == []
    assert len(seen) > 5  # the values moved while they were read


def test_follows_the_image_across_a_restart_and_guards_its_port(folder, images, started):
    image = images("restart")
    first = started(Program("modbus_test_model", image, folder))
    face, port = serve(image, folder, started)
    c = client(port)
    assert not c.write_coil(0, True).isError()
    first.end()
    face.wait_for_line("the program ended")
    second = started(Program("modbus_test_model", image, folder))
    face.wait_for_line("a new program on image")
    assert not c.write_registers(0, [0, 42]).isError()
    assert second.get("Setpoint") == "42"
    c.close()

    # The port is taken: one line that names it, status 1.
    done = qvctl(image, "modbus", "serve", "--port", str(port), check=False)
    assert done.returncode == 1 and done.stderr.count("\n") == 1 and f"port {port}" in done.stderr

    _, read_only = serve(image, folder, started, "--read-only", name="read-only")
    c = client(read_only)
    assert refusal(c.write_coil(0, True)) == ILLEGAL_FUNCTION
    assert c.read_coils(0, 1).bits[0] is False  # the new program's initial value
    c.close()

    # Clients outside --allow are turned away.
    _, guarded = serve(image, folder, started, "--allow", "10.0.0.0/8", name="guarded")
    c = ModbusTcpClient("127.0.0.1", port=guarded, timeout=1, retries=0)
    c.connect()
    try:
        assert c.read_coils(0, 1).isError()
    except ConnectionException:
        pass  # closed before or while it asked
    c.close()


def test_time_values_travel_as_ticks_of_100_us(folder, images, started):
    image = images("time")
    program = started(Program("bistable_cylinder", image, folder))
    wiring = os.path.join(folder, "time.csv")
    with open(wiring, "w") as f:
        f.write("name,table,address,type,words,word_order,writable\nTinertie,holding_register,0,TIME,2,,true\n")
    _, port = serve(image, folder, started, "--map", wiring)
    c = client(port)
    for ticks, text in ((12345, "T#1.2345s"), (-1, "T#-0.0001s"), (2**31 - 1, "T#214748.3647s")):
        assert not c.write_registers(0, list(struct.unpack(">HH", struct.pack(">i", ticks)))).isError()
        assert program.get("Tinertie") == text
        assert struct.unpack(">i", struct.pack(">HH", *c.read_holding_registers(0, 2).registers))[0] == ticks
    # Beyond 32 bits of ticks a duration reads as the limit.
    qvctl(image, "set", "Tinertie", "3d")
    wait_for(lambda: c.read_holding_registers(0, 2).registers == [0x7FFF, 0xFFFF], what="the limit")
    c.close()
