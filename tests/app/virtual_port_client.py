#!/usr/bin/python3
# Another program on a serial port: opens PORT at 9600 baud with 2 stop bits, writes the
# request given in hex, and prints the reply of COUNT bytes in hex (empty after 5 s of silence).
# Usage: virtual_port_client.py PORT REQUEST_HEX COUNT
import sys

import serial

port = serial.Serial(sys.argv[1], baudrate=9600, stopbits=serial.STOPBITS_TWO, timeout=5)
port.write(bytes.fromhex(sys.argv[2]))
print(port.read(int(sys.argv[3])).hex().upper())
port.close()
