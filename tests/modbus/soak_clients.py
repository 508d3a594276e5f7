"""The Modbus part of scripts/soak.sh: clients that poll qvctl modbus serve every 10 ms,
connect and leave, cut requests in the middle, send garbage and never read their
answers, for SECONDS; the server's descriptors, threads and memory must stay flat.
Usage: soak_clients.py PORT SECONDS SERVER_PID. Status 0 when they did."""

import logging
import os
import socket
import struct
import sys
import threading
import time

from pymodbus.client import ModbusTcpClient

logging.disable(logging.CRITICAL)
port, seconds, server = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
end = time.monotonic() + seconds
counts = {"reads": 0, "failures": 0, "churn": 0}


def server_use():
    fds = len(os.listdir(f"/proc/{server}/fd"))
    status = dict(line.split(":", 1) for line in open(f"/proc/{server}/status"))
    return fds, int(status["VmRSS"].split()[0]), int(status["Threads"])


def poller():
    c = ModbusTcpClient("127.0.0.1", port=port, timeout=2, retries=0)
    c.connect()
    while time.monotonic() < end:
        for response in (c.read_coils(0, 1), c.read_discrete_inputs(0, 1), c.read_input_registers(0, 2)):
            counts["reads" if not response.isError() else "failures"] += 1
        time.sleep(0.01)
    c.close()


def churn():
    request = struct.pack(">HHHBBHH", 1, 0, 6, 1, 4, 0, 2)
    n = 0
    while time.monotonic() < end - 2:
        n += 1
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                if n % 5 == 0:
                    s.sendall(request[:5])           # cut mid-request
                elif n % 7 == 0:
                    s.sendall(os.urandom(64))        # not a frame
                elif n % 11 == 0:
                    for _ in range(200):             # never reads its answers
                        s.sendall(request)
                else:
                    s.sendall(request)
                    s.recv(64)
            counts["churn"] += 1
        except OSError:
            counts["failures"] += 1
        time.sleep(0.005)


threads = [threading.Thread(target=poller) for _ in range(8)] + [threading.Thread(target=churn)]
for t in threads:
    t.start()
time.sleep(min(10.0, seconds / 4))
before = server_use()
for t in threads:
    t.join()
time.sleep(2)  # the server closes what the clients left
after = server_use()
print(f"modbus: {counts['reads']} reads, {counts['churn']} short connections, {counts['failures']} failures; "
      f"server descriptors {before[0]} -> {after[0]}, resident {before[1]} -> {after[1]} KiB, "
      f"threads {before[2]} -> {after[2]}")
flat = after[0] <= before[0] and after[1] <= before[1] + 2048 and after[2] <= before[2]
if not flat or counts["reads"] == 0:
    print("modbus: the server's descriptors, threads or memory grew")
    sys.exit(1)
