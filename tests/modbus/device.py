"""A Modbus device for the tests: pymodbus's own TCP server with a data store of 100
addresses per table, all zero but for input registers 20 and 21 (1.5 as a REAL, low word
first). Usage: device.py PORT"""

import logging
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartTcpServer

logging.disable(logging.CRITICAL)
inputs = [0] * 100
inputs[20], inputs[21] = 0x0000, 0x3FC0
store = ModbusSlaveContext(di=ModbusSequentialDataBlock(0, [0] * 100), co=ModbusSequentialDataBlock(0, [0] * 100),
                           hr=ModbusSequentialDataBlock(0, [0] * 100), ir=ModbusSequentialDataBlock(0, inputs),
                           zero_mode=True)
StartTcpServer(context=ModbusServerContext(slaves=store, single=True), address=("127.0.0.1", int(sys.argv[1])))
