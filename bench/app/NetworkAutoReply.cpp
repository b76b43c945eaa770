// Measures auto-reply round trips through ser2net: the request written on a pseudo-terminal
// goes through ser2net (on 127.0.0.1, in front of that pseudo-terminal) to the real main window
// with 100 rules (the matching one last), and the reply comes back the same way; the time is
// taken on the pseudo-terminal from the last request byte written to the first reply byte. The
// reference is a minimal responder (a process of its own) on the same path. Raw TCP and
// RFC 2217, several runs each; reports each run's median and p99, the best run and the spread.
// The window is measured with the replies decided on its own thread and with "立即回复" (on the
// port's thread, as the bytes are read).
//
// Usage: bench_network_autoreply [requests, default 1000] [runs, default 3]

#include <QApplication>
#include <QTemporaryDir>

#include "bench/app/AutoReplySupport.h"
#include "bench/app/NetworkBenchSupport.h"

namespace {

// The reference: connects, says so with "!", and answers every request with the reply.
int RunResponder(std::uint16_t port, bool telnet)
{
    MinimalClient client(port, telnet);
    client.Send("!");
    std::string pending;
    while (client.Receive(pending)) {
        if (pending.find(kRequest) != std::string::npos) {
            pending.clear();
            client.Send(kReply);
        }
    }
    return 0;
}

std::vector<double> MeasureResponder(PseudoTerminal& pty, const Ser2netServer& server, Ser2netServer::Mode mode,
                                     int count)
{
    const pid_t responder =
        StartHelper({"--responder", std::to_string(server.Port()), IsTelnet(mode) ? "telnet" : "raw"});
    std::vector<double> micros;
    if (AwaitOnDevice(pty.Master(), '!')) {
        micros = MeasureRoundTrips(pty.Master(), count);
    }
    kill(responder, SIGTERM);
    waitpid(responder, nullptr, 0);
    return micros;
}

std::vector<double> MeasureWindow(PseudoTerminal& pty, const Ser2netServer& server, int count, bool instant)
{
    QTemporaryDir directory;
    MapCom1(directory.path(), server.Url(), instant ? "AutoRecive=1\r\nInstantReply=1\r\n" : "AutoRecive=1\r\n");
    CSerialDebugDlg window(directory.path().toStdString());
    AddHundredRules(window);
    window.OnInitDialog();
    window.show();
    if (!WaitUntilOpen(window, pty.Master())) {
        return {};
    }
    return MeasureWindowRoundTrips(window, pty.Master(), count);
}

using Runs = std::vector<std::vector<double>>;

const std::vector<double>& Best(const Runs& runs)
{
    return *std::min_element(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
        return Percentile(a, 0.5) < Percentile(b, 0.5);
    });
}

void ReportSpread(const char* name, const Runs& runs)
{
    double lowest = 1e12;
    double highest = 0;
    for (const auto& run : runs) {
        lowest = std::min(lowest, Percentile(run, 0.5));
        highest = std::max(highest, Percentile(run, 0.5));
    }
    std::printf("  %-32s medians of the runs from %.1f to %.1f us\n", name, lowest, highest);
}

void ReportBest(const char* name, const std::vector<double>& window, const std::vector<double>& responder)
{
    std::printf("  best runs, %-16s median / responder median %.2f x, p99 %.2f ms\n", name,
                Percentile(window, 0.5) / Percentile(responder, 0.5), Percentile(window, 0.99) / 1000);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && std::string(argv[1]) == "--responder") {
        return RunResponder(static_cast<std::uint16_t>(std::atoi(argv[2])), std::string(argv[3]) == "telnet");
    }
    DrawOffscreenUnlessTold();
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::printf("%d requests through ser2net (%s), 100 rules, %d runs each\n", count, kSer2netOptions, runs);
    bool allAnswered = true;
    for (const Ser2netServer::Mode mode : {Ser2netServer::Mode::Raw, Ser2netServer::Mode::Rfc2217}) {
        PseudoTerminal pty(PseudoTerminal::DeviceSide::Blocking);
        const std::unique_ptr<Ser2netServer> started = StartSer2net(pty, mode);
        const Ser2netServer& server = *started;
        Runs responder;
        Runs window;
        Runs instant;
        const auto answered = [count](const Runs& measured) {
            return measured.back().size() == static_cast<std::size_t>(count);
        };
        for (int run = 0; run < runs; ++run) {
            responder.push_back(MeasureResponder(pty, server, mode, count));
            window.push_back(MeasureWindow(pty, server, count, false));
            instant.push_back(MeasureWindow(pty, server, count, true));
            allAnswered = allAnswered && answered(responder) && answered(window) && answered(instant);
        }
        std::printf("%s:\n", ModeName(mode));
        for (std::size_t run = 0; run < responder.size(); ++run) {
            const std::string number = ", run " + std::to_string(run + 1);
            ReportRoundTrips(("  responder" + number).c_str(), responder[run], count);
            ReportRoundTrips(("  window" + number).c_str(), window[run], count);
            ReportRoundTrips(("  window, instant" + number).c_str(), instant[run], count);
        }
        ReportSpread("responder", responder);
        ReportSpread("window", window);
        ReportSpread("window, instant", instant);
        ReportBest("window", Best(window), Best(responder));
        ReportBest("window, instant", Best(instant), Best(responder));
        std::fflush(stdout);
    }
    return allAnswered ? 0 : 1;
}
