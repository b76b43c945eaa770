#include "tests/serial/TermiosProbe.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool ProbeLine(int fd, ReportedLine& line)
{
    termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return false;
    }
    line.baud = settings.c_ospeed;
    switch (settings.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
    }
    line.parity = (settings.c_cflag & PARENB) != 0;
    line.oddParity = (settings.c_cflag & PARODD) != 0;
    line.markSpace = (settings.c_cflag & CMSPAR) != 0;
    line.twoStopBits = (settings.c_cflag & CSTOPB) != 0;
    line.raw = (settings.c_lflag & (ECHO | ICANON | ISIG)) == 0 && (settings.c_oflag & OPOST) == 0;
    return true;
}
