// Measures auto-reply latency through a pseudo-terminal: the time from the last request byte
// written on the device side to the first reply byte read there, over many requests, for the real
// main window with 100 rules (the matching one last) and, as the reference, a minimal responder
// process written in plain C style on its own pseudo-terminal. The window is measured with the
// replies decided on its own thread and with "立即回复" (on the port's thread).
//
// Usage: bench_autoreply_latency [requests, default 1000]

#include <poll.h>
#include <sys/wait.h>

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
#include <cstdlib>
#include <vector>

#include "bench/app/AutoReplySupport.h"

namespace {

void RunResponder(int slave)
{
    char buffer[256];
    std::string pending;
    for (;;) {
        const ssize_t n = read(slave, buffer, sizeof buffer);
        if (n <= 0) {
            _exit(0);
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        if (pending.find(kRequest) != std::string::npos) {
            pending.clear();
            if (write(slave, kReply.data(), kReply.size()) < 0) {
                _exit(1);
            }
        }
    }
}

std::vector<double> RunReference(int count)
{
    PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
    const pid_t child = fork();
    if (child == 0) {
        pty.CloseMaster();
        RunResponder(pty.Slave());
    }
    pty.CloseSlave();
    std::vector<double> micros = MeasureRoundTrips(pty.Master(), count);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return micros;
}

std::vector<double> RunTerminal(int count, const char* settings)
{
    PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
    QTemporaryDir directory;
    MapCom1(directory.path(), pty.SlavePath(), settings);
    CSerialDebugDlg window(directory.path().toStdString());
    AddHundredRules(window);
    window.OnInitDialog();
    window.show();
    if (!window.IsPortOpen()) {
        throw std::runtime_error("the pseudo-terminal did not open");
    }
    return MeasureWindowRoundTrips(window, pty.Master(), count);
}

}  // namespace

int main(int argc, char* argv[])
{
    DrawOffscreenUnlessTold();
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    ReportRoundTrips("reference responder", RunReference(count), count);
    ReportRoundTrips("terminal, 100 rules", RunTerminal(count, "AutoRecive=1\r\n"), count);
    ReportRoundTrips("terminal, 100 rules, hex", RunTerminal(count, "AutoRecive=1\r\nHexDisplay=1\r\n"), count);
    ReportRoundTrips("terminal, 100 rules, instant", RunTerminal(count, "AutoRecive=1\r\nInstantReply=1\r\n"),
                     count);
    return 0;
}
