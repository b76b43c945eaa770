#pragma once

#include <string>

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };
// Level of a control line the settings ask for; Unchanged leaves the line as it is.
enum class LineControl { Unchanged, On, Off, Handshake, Toggle };

// Line settings of a serial device.
struct LineSettings {
    unsigned baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    bool xonXoff = false;        // software flow control both ways
    bool ctsHandshake = false;   // output waits for CTS (with RTS handshake on input)
    bool dsrHandshake = false;   // output waits for DSR
    bool dsrSensitive = false;   // input is taken only while DSR is on
    bool timeoutRetry = false;   // "to=on"
    LineControl dtr = LineControl::Unchanged;
    LineControl rts = LineControl::Unchanged;

    bool operator==(const LineSettings&) const = default;
};

// Changes `settings` from a settings text, leaving the fields the text does not name.
// Two forms are accepted, optionally after a device prefix "COMn:":
//   comma form:   baud[,parity[,data[,stop[,flow]]]]  e.g. "9600,n,8,1"
//                 parity n/e/o/m/s, data 5-8, stop 1/1.5/2, flow x (XON/XOFF) or p (hardware);
//                 without a flow field flow control is off
//   keyword form: baud=b parity=p data=d stop=s to=on|off xon=on|off odsr=on|off
//                 octs=on|off dtr=on|off|hs rts=on|off|hs|tg idsr=on|off  (any order)
// Two-digit baud rates are the short forms 11 15 30 60 12 24 48 96 19 (110 ... 19200).
// Refused text returns false and leaves `settings` unchanged.
bool BuildLineSettings(const std::string& text, LineSettings& settings);

// Whether a device can be set to these settings at all (1.5 stop bits need 5 data bits,
// 2 stop bits need more than 5).
bool LineSettingsConsistent(const LineSettings& settings);

// Baud rate, parity, data and stop bits as the user reads them: "9600,N,8,1".
std::string DescribeLineSettings(const LineSettings& settings);
