// The network device against ser2net, the real server, on 127.0.0.1 with a pseudo-terminal as
// its device.
//
// What a pseudo-terminal cannot show: it has no modem lines, so ser2net (4.3) leaves DTR and
// RTS requests unanswered, answers "request DTR/RTS state" with the request's own value, and
// always reports the modem lines as 0. That the device sends DTR and RTS is checked on the wire
// against the scripted server (NetworkDeviceTest).
#include <gtest/gtest.h>

#include <termios.h>

#include <cstring>

#include <atomic>
#include <thread>

#include "platform/NetworkDevice.h"
#include "tests/platform/DescriptorIo.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/Ser2netServer.h"

using namespace std::chrono_literals;
using namespace device_io;

namespace {

class Ser2net : public ::testing::TestWithParam<Ser2netServer::Mode> {
protected:
    void SetUp() override
    {
        if (!Ser2netServer::Installed()) {
            GTEST_SKIP() << "ser2net is not installed (scripts/setup-debian.sh installs it)";
        }
        server_ = std::make_unique<Ser2netServer>(pty_.SlavePath(), GetParam());
        ASSERT_TRUE(server_->Running()) << server_->Log();
        ASSERT_TRUE(device_.Open(server_->Url())) << device_.FailureReason();
        ASSERT_TRUE(device_.SetEventMask(EV_RXCHAR));
        // ser2net opens its device when the client connects; a byte through shows it has.
        ASSERT_TRUE(WriteAll(device_, "!"));
        ASSERT_EQ(ReadDescriptor(pty_.Master(), 1), "!");
    }

    PseudoTerminal pty_;
    std::unique_ptr<Ser2netServer> server_;
    NetworkDevice device_;
};

std::string Pattern(std::size_t size)
{
    std::string bytes;
    while (bytes.size() < size) {
        bytes += HardBytes();
    }
    bytes.resize(size);
    return bytes;
}

}  // namespace

TEST_P(Ser2net, BytesGoBothWaysUnchanged)
{
    ASSERT_TRUE(WriteAll(device_, HardBytes()));
    EXPECT_EQ(ReadDescriptor(pty_.Master(), HardBytes().size()), HardBytes());
    ASSERT_TRUE(WriteDescriptor(pty_.Master(), HardBytes()));
    EXPECT_EQ(ReadCount(device_, HardBytes().size()), HardBytes());

    // More than any queue on the way holds, both ways at once.
    const std::string outgoing = Pattern(256 * 1024);
    std::string arrived;
    std::thread deviceSide([&] { arrived = ReadDescriptor(pty_.Master(), outgoing.size(), 30s); });
    ASSERT_TRUE(WriteAll(device_, outgoing, 30s));
    deviceSide.join();
    EXPECT_TRUE(arrived == outgoing) << arrived.size() << " of " << outgoing.size() << " bytes arrived";
    std::thread writer([&] { WriteDescriptor(pty_.Master(), outgoing, 30s); });
    const std::string received = ReadCount(device_, outgoing.size(), 30s);
    writer.join();
    EXPECT_TRUE(received == outgoing) << received.size() << " of " << outgoing.size() << " bytes received";
}

TEST_P(Ser2net, StoppingTheServerMidTransferIsAHangUpAndARestartCanBeReached)
{
    std::atomic<bool> flooding{true};
    std::thread deviceSide([&] {
        const std::string chunk = Pattern(4096);
        while (flooding) {
            WriteDescriptor(pty_.Master(), chunk, 100ms);
        }
    });
    EXPECT_GT(ReadCount(device_, 64 * 1024).size(), 0u);
    server_->Stop();
    const WaitResult result = WaitUntil(device_, [&](const WaitResult& wait) {
        char buffer[4096];
        while (device_.Read(buffer, sizeof buffer) > 0) {
        }
        return wait.hungUp;
    });
    flooding = false;
    deviceSide.join();
    EXPECT_TRUE(result.hungUp);
    EXPECT_EQ(device_.Write("x", 1), -1);

    ASSERT_TRUE(server_->Start()) << server_->Log();
    device_.Close();
    static_cast<void>(pty_.ReadAvailable());
    ASSERT_TRUE(device_.Open(server_->Url())) << device_.FailureReason();
    ASSERT_TRUE(device_.SetEventMask(EV_RXCHAR));
    ASSERT_TRUE(WriteAll(device_, "again"));
    EXPECT_EQ(ReadDescriptor(pty_.Master(), 5), "again");
}

INSTANTIATE_TEST_SUITE_P(NetworkDevice, Ser2net,
                         ::testing::Values(Ser2netServer::Mode::Rfc2217, Ser2netServer::Mode::Raw),
                         [](const auto& info) { return info.param == Ser2netServer::Mode::Rfc2217 ? "Rfc2217" : "Raw"; });

namespace {

class Ser2netRfc2217 : public Ser2net {};

termios DeviceSettings(int master)
{
    termios settings {};
    EXPECT_EQ(::tcgetattr(master, &settings), 0);
    return settings;
}

}  // namespace

TEST_P(Ser2netRfc2217, LineSettingsArriveAtTheDevice)
{
    LineSettings line;
    ASSERT_TRUE(device_.GetLineSettings(line));
    EXPECT_EQ(line.baudRate, 9600u);  // what the configuration opens the device with
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, Parity::None);

    // A pseudo-terminal always carries 8 data bits without parity (the kernel puts CS8 back and
    // clears PARENB whatever is set), so the data bits and parity show in ser2net's answers,
    // which SetLineSettings checks, and on the device as the baud rate, the stop bits and the
    // odd-parity flag that the kernel leaves alone.
    ASSERT_TRUE(BuildLineSettings("115200,o,7,2", line));
    EXPECT_TRUE(device_.SetLineSettings(line)) << std::strerror(errno);
    termios settings = DeviceSettings(pty_.Master());
    EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B115200));
    EXPECT_NE(settings.c_cflag & PARODD, 0u);
    EXPECT_NE(settings.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    ASSERT_TRUE(BuildLineSettings("baud=57600 parity=n data=8 stop=1 dtr=on rts=on", line));
    EXPECT_TRUE(device_.SetLineSettings(line)) << std::strerror(errno);
    settings = DeviceSettings(pty_.Master());
    EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B57600));
    EXPECT_EQ(settings.c_cflag & CSTOPB, 0u);
    ASSERT_TRUE(device_.GetLineSettings(line));
    EXPECT_EQ(line.baudRate, 57600u);

    // Control lines and break are sent; a pseudo-terminal has no lines to show them on.
    EXPECT_TRUE(device_.SetControlLine(ControlLine::Dtr, false));
    EXPECT_TRUE(device_.SetControlLine(ControlLine::Rts, false));
    EXPECT_TRUE(device_.SetBreak(true));
    EXPECT_TRUE(device_.SetBreak(false));
    unsigned status = 0xFFFF;
    EXPECT_TRUE(device_.GetModemStatus(status));
    EXPECT_EQ(status, 0u);

    // Settings the server refuses fail (ser2net leaves 1.5 stop bits unanswered), and the
    // device is put back as it was.
    ASSERT_TRUE(BuildLineSettings("9600,n,5,1.5", line));
    device_.SetAnswerTimeout(300ms);
    EXPECT_FALSE(device_.SetLineSettings(line));
    settings = DeviceSettings(pty_.Master());
    EXPECT_EQ(::cfgetospeed(&settings), static_cast<speed_t>(B57600));
    EXPECT_EQ(settings.c_cflag & CSTOPB, 0u);
}

TEST_P(Ser2netRfc2217, PurgingDiscardsWhatWaits)
{
    ASSERT_TRUE(WriteDescriptor(pty_.Master(), "stale"));
    WaitUntil(device_, [](const WaitResult& result) { return (result.events & EV_RXCHAR) != 0; });
    EXPECT_TRUE(device_.Purge(PURGE_RXABORT | PURGE_RXCLEAR));
    std::size_t waiting = 1;
    EXPECT_TRUE(device_.InputQueueBytes(waiting));
    EXPECT_EQ(waiting, 0u);
    // The server purges when it gets there; settings are a round trip behind the purge.
    LineSettings line;
    ASSERT_TRUE(device_.GetLineSettings(line));
    ASSERT_TRUE(device_.SetLineSettings(line));
    ASSERT_TRUE(WriteDescriptor(pty_.Master(), "fresh"));
    EXPECT_EQ(ReadCount(device_, 5), "fresh");
}

// The port engine's way: one thread waits for events and looks at the modem lines and errors,
// the other reads, writes and changes settings. Answers the waiting thread takes off the
// connection still reach the settings call.
TEST_P(Ser2netRfc2217, AWaitingThreadAndAWorkingThreadShareTheDevice)
{
    std::atomic<bool> running{true};
    std::thread echo([&] {
        while (running) {
            const std::string got = ReadDescriptor(pty_.Master(), 4096, 20ms);
            WriteDescriptor(pty_.Master(), got);
        }
    });
    std::thread monitor([&] {
        WaitRequest request;
        request.watchOutputRoom = true;
        request.timeoutMs = 20;
        for (int turn = 0; running; ++turn) {
            request.watchInput = turn % 2 == 0;
            device_.WaitEvent(request);
            unsigned status = 0;
            std::size_t waiting = 0;
            device_.GetModemStatus(status);
            device_.InputQueueBytes(waiting);
        }
    });
    const std::string chunk = Pattern(1000);
    for (int round = 0; round < 40; ++round) {
        if (round % 5 == 0) {
            LineSettings line;
            ASSERT_TRUE(device_.GetLineSettings(line));
            line.baudRate = round % 10 == 0 ? 115200 : 9600;
            EXPECT_TRUE(device_.SetLineSettings(line)) << "round " << round;
        }
        std::size_t written = 0;
        std::string echoed;
        const auto deadline = Clock::now() + 10s;
        while (echoed.size() < chunk.size() && Clock::now() < deadline) {
            const long taken = written < chunk.size() ? device_.Write(chunk.data() + written, chunk.size() - written) : 0;
            written += taken > 0 ? static_cast<std::size_t>(taken) : 0;
            char buffer[1024];
            const long got = device_.Read(buffer, sizeof buffer);
            if (got > 0) {
                echoed.append(buffer, static_cast<std::size_t>(got));
            } else {
                std::this_thread::sleep_for(1ms);
            }
        }
        ASSERT_TRUE(echoed == chunk) << "round " << round << ": " << echoed.size() << " bytes came back";
    }
    running = false;
    device_.WakeWait();
    monitor.join();
    echo.join();
}

INSTANTIATE_TEST_SUITE_P(NetworkDevice, Ser2netRfc2217, ::testing::Values(Ser2netServer::Mode::Rfc2217),
                         [](const auto&) { return "Rfc2217"; });
