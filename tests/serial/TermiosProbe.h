#pragma once

// What a terminal device reports of its line settings (read through the pty master, which
// shows the slave's settings).
struct ReportedLine {
    unsigned baud = 0;
    int dataBits = 0;
    bool parity = false;
    bool oddParity = false;
    bool markSpace = false;
    bool twoStopBits = false;
    bool raw = false;  // no echo, no line editing, no output processing
    bool operator==(const ReportedLine&) const = default;
};

bool ProbeLine(int fd, ReportedLine& line);
