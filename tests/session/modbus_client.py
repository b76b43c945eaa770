"""A Modbus RTU master on a serial device, for ModbusClientTest: python3 modbus_client.py DEVICE

Asks slave 17 at 9600 baud for one request of every common function, then for a read that the
slave refuses (illegal data address) and one whose reply has a broken CRC. Prints one line per
request and exits 0 when every answer was the one the test's device gives.
Written for pymodbus 3.0 (the slave is `slave=` there, but `unit=` for readwrite_registers).
"""
import sys

from pymodbus.client import ModbusSerialClient
from pymodbus.pdu import ExceptionResponse

SLAVE = 17


def bits(values):
    return [bool(int(bit)) for bit in values]


def main(device):
    # The timeout is kept as whole seconds (0.5 would become 0: wait for ever). Without `strict`
    # a reply is read up to its full length, not cut short by a pause between its bytes.
    client = ModbusSerialClient(port=device, baudrate=9600, timeout=1, retries=0, strict=False)
    if not client.connect():
        print(f"cannot open {device}")
        return 1
    calls = [
        ("read coils", lambda: client.read_coils(0x13, 19, slave=SLAVE),
         lambda r: r.bits[:19], bits("1011001111010110101")),
        ("read discrete inputs", lambda: client.read_discrete_inputs(0xC4, 22, slave=SLAVE),
         lambda r: r.bits[:22], bits("0011010111011011101011")),
        ("read holding registers", lambda: client.read_holding_registers(0x6B, 3, slave=SLAVE),
         lambda r: r.registers, [0x0AE1, 0x0000, 0x007F]),
        ("read input registers", lambda: client.read_input_registers(0x08, 1, slave=SLAVE),
         lambda r: r.registers, [0x0064]),
        ("write single coil", lambda: client.write_coil(0xAC, True, slave=SLAVE),
         lambda r: (r.address, r.value), (0xAC, True)),
        ("write single register", lambda: client.write_register(0x01, 3, slave=SLAVE),
         lambda r: (r.address, r.value), (0x01, 3)),
        ("write multiple coils",
         lambda: client.write_coils(0x13, bits("1011001110"), slave=SLAVE),
         lambda r: (r.address, r.count), (0x13, 10)),
        ("write multiple registers", lambda: client.write_registers(0x01, [0x000A, 0x0102], slave=SLAVE),
         lambda r: (r.address, r.count), (0x01, 2)),
        ("read/write multiple registers",
         lambda: client.readwrite_registers(read_address=0x03, read_count=6, write_address=0x0E,
                                            write_registers=[0xFF] * 3, unit=SLAVE),
         lambda r: r.registers, [0x00FE, 0x0ACD, 0x0001, 0x0003, 0x000D, 0x00FF]),
        ("read refused", lambda: client.read_holding_registers(0x0100, 1, slave=SLAVE),
         lambda r: ("exception", r.exception_code) if isinstance(r, ExceptionResponse) else r, ("exception", 2)),
        ("reply with a broken CRC", lambda: client.read_input_registers(0x20, 2, slave=SLAVE), None, None),
    ]
    good = True
    for name, call, got, expected in calls:
        try:
            response = call()
        except Exception as error:  # noqa: BLE001 - reported like any other failed request
            response = error
        if got is None:
            print(f"{name}: {response} (an error is expected)")
            continue
        failed = isinstance(response, Exception) or (response.isError() and not isinstance(response, ExceptionResponse))
        value = response if failed else got(response)
        print(f"{name}: {value}")
        if value != expected:
            print(f"    expected {expected}")
            good = False
    client.close()
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
