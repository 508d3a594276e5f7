"""qvctl modbus poll against Debian's pymodbus as the device: the device's values reach
the program's inputs, the program's outputs reach the device, a device killed and
started again under the poll, --on-loss zero, and an address the device refuses."""

import os
import socket
import struct
import subprocess
import sys
import time

import pytest
from pymodbus.client import ModbusTcpClient

from conftest import Face, Program, free_port, qvctl, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))

MAP = """name,table,address,type,words,word_order,writable
Enable,coil,3,BOOL,1,,false
Setpoint,holding_register,10,DINT,2,big,false
Gain,input_register,20,REAL,2,little,false
Ready,coil,40,BOOL,1,,false
Output,holding_register,30,REAL,2,big,false
"""


class Device:
    def __init__(self, port):
        self.port = port
        self.process = subprocess.Popen([sys.executable, os.path.join(HERE, "device.py"), str(port)])

        def answers():
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                    return True
            except OSError:
                return False
        wait_for(answers, what="the device to listen")
        self.client = ModbusTcpClient("127.0.0.1", port=port, timeout=3, retries=0)
        assert self.client.connect()

    def kill(self):
        self.client.close()
        self.process.kill()
        self.process.wait()


@pytest.fixture
def devices():
    made = []

    def make(port):
        made.append(Device(port))
        return made[-1]

    yield make
    for d in made:
        if d.process.poll() is None:
            d.kill()


def write_map(folder, text=MAP):
    path = os.path.join(folder, "wiring.csv")
    with open(path, "w") as f:
        f.write(text)
    return path


def test_device_values_reach_the_inputs_and_outputs_reach_the_device_across_a_device_restart(
        folder, images, started, devices):
    port = free_port()
    device = devices(port)
    image = images("poll")
    program = started(Program("modbus_test_model", image, folder))
    poll = started(Face(image, ["poll", "--device", f"127.0.0.1:{port}/1", "--map", write_map(folder)], folder, "poll"))
    poll.wait_for_line("connected to the device")
    qvctl(image, "run")

    assert not device.client.write_coil(3, True).isError()
    assert not device.client.write_registers(10, [0, 7]).isError()
    wait_for(lambda: program.get("Setpoint") == "7" and program.get("Enable") == "TRUE", what="the inputs")
    assert program.get("Gain") == "1.5"
    def device_sees_outputs():
        registers = device.client.read_holding_registers(30, 2).registers
        return device.client.read_coils(40, 1).bits[0] and \
            struct.unpack(">f", struct.pack(">HH", *registers))[0] == 10.5
    wait_for(device_sees_outputs, what="the outputs on the device")

    # The device goes away: said once, the inputs keep their values.
    device.kill()
    poll.wait_for_line("lost the device")
    time.sleep(1.5)
    assert poll.text().count("lost the device") == 1
    assert program.get("Setpoint") == "7" and program.get("Enable") == "TRUE"
    # It comes back (its store starts from zero): connected again, the inputs follow it.
    device = devices(port)
    wait_for(lambda: poll.text().count("connected to the device") == 2, 15, "the poll to connect again")
    wait_for(lambda: program.get("Setpoint") == "0" and program.get("Enable") == "FALSE", what="the new values")
    assert not device.client.write_registers(10, [1, 0]).isError()
    wait_for(lambda: program.get("Setpoint") == "65536", what="a value after the restart")


def test_on_loss_zero_and_a_refused_address(folder, images, started, devices):
    port = free_port()
    device = devices(port)
    image = images("zero")
    program = started(Program("modbus_test_model", image, folder))
    wiring = write_map(folder, MAP + "Cycles,holding_register,500,DINT,2,,false\n")
    poll = started(Face(image, ["poll", "--device", f"127.0.0.1:{port}", "--map", wiring, "--every", "20ms",
                                "--on-loss", "zero"], folder, "poll"))
    poll.wait_for_line("connected to the device")
    # The program stands in STOP: the wiring goes on all the same.
    assert not device.client.write_registers(10, [0, 9]).isError()
    wait_for(lambda: program.get("Setpoint") == "9", what="the input")
    poll.wait_for_line("the device refuses to take holding_register 500 to 501")
    device.kill()
    poll.wait_for_line("lost the device")
    wait_for(lambda: program.get("Setpoint") == "0" and program.get("Gain") == "0", what="the inputs at zero")

    done = qvctl(image, "modbus", "poll", "--device", "nowhere", "--map", wiring, check=False)
    assert done.returncode == 2 and "HOST:PORT" in done.stderr
