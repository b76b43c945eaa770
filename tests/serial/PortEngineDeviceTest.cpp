// The engine's modem-line, break, statistics and loss paths, against a fake device at the
// platform interface (a pseudo-terminal has no modem lines and no driver counts).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "serial/PortEngine.h"
#include "tests/serial/RecordingSink.h"
#include "tests/support/FakeDevice.h"

namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

constexpr int kPort = 4;

class PortEngineOnFakeDevice : public ::testing::Test {
protected:
    PortEngineOnFakeDevice()
    {
        engine.SetPortNumber(kPort);
        engine.SetDeviceName("\\\\.\\COM4");
        engine.SetDeviceFactory(FakeDeviceFactory(device));
    }

    void OpenWithSink()
    {
        ASSERT_TRUE(engine.Open());
        ASSERT_TRUE(engine.Setup());
        ASSERT_TRUE(engine.SetState("9600,n,8,1"));
        engine.SetNotificationSink(&sink);
    }

    void Raise(unsigned events, unsigned modemStatus)
    {
        device->Update([&](FakeDeviceState& s) {
            s.modemStatus = modemStatus;
            s.raisedEvents = events;
        });
    }

    std::vector<unsigned> Messages() const
    {
        std::vector<unsigned> messages;
        for (const Notification& notification : sink.Notifications()) {
            messages.push_back(notification.message);
        }
        return messages;
    }

    std::shared_ptr<FakeDeviceState> device = std::make_shared<FakeDeviceState>();
    RecordingSink sink;
    PortEngine engine;
};

TEST_F(PortEngineOnFakeDevice, ModemLineChangesPostTheirNotificationsWithTheLineState)
{
    OpenWithSink();
    Raise(EV_CTS, MS_CTS_ON);
    ASSERT_TRUE(sink.WaitForCount(1));
    Raise(EV_CTS, 0);
    ASSERT_TRUE(sink.WaitForCount(2));
    Raise(EV_DSR, MS_DSR_ON | MS_CTS_ON);
    ASSERT_TRUE(sink.WaitForCount(3));
    Raise(EV_RLSD | EV_RING, MS_RLSD_ON | MS_RING_ON);
    ASSERT_TRUE(sink.WaitForCount(5));
    EXPECT_THAT(sink.Notifications(),
                ElementsAre(Notification{WM_COMM_CTS, kPort, 1}, Notification{WM_COMM_CTS, kPort, 0},
                            Notification{WM_COMM_DSR, kPort, 1}, Notification{WM_COMM_RLSD, kPort, 0},
                            Notification{WM_COMM_RING, kPort, 0}));
    unsigned status = 0;
    ASSERT_TRUE(engine.GetModemStatus(status));
    EXPECT_EQ(status, MS_RLSD_ON | MS_RING_ON);
}

TEST_F(PortEngineOnFakeDevice, DtrRtsAndATimedBreakReachTheDevice)
{
    EXPECT_FALSE(engine.SetDtr(true)) << "closed";
    EXPECT_FALSE(engine.SendBreak(250ms));
    OpenWithSink();
    EXPECT_TRUE(engine.SetDtr(true));
    EXPECT_TRUE(engine.SetRts(true));
    EXPECT_TRUE(engine.SetRts(false));
    EXPECT_TRUE(device->WaitUntil([](const FakeDeviceState& s) { return s.dtr && !s.rts; }));

    ASSERT_TRUE(engine.SendBreak(250ms));
    ASSERT_TRUE(device->WaitUntil([](const FakeDeviceState& s) { return s.breakChanges.size() == 2; }));
    std::lock_guard lock(device->mutex);
    EXPECT_TRUE(device->breakChanges[0].first);
    EXPECT_FALSE(device->breakChanges[1].first);
    EXPECT_GE(device->breakChanges[1].second - device->breakChanges[0].second, 250ms);
    EXPECT_LT(device->breakChanges[1].second - device->breakChanges[0].second, 2s);
}

TEST_F(PortEngineOnFakeDevice, ABreakInProgressEndsWithTheClose)
{
    OpenWithSink();
    ASSERT_TRUE(engine.SendBreak(10s));
    engine.Close();
    std::lock_guard lock(device->mutex);
    EXPECT_FALSE(device->breakOn);
}

TEST_F(PortEngineOnFakeDevice, StatisticsCountSinceOpenAndSayWhetherTheDriverKeepsCounts)
{
    OpenWithSink();
    device->Update([](FakeDeviceState& s) {
        s.input = "0123456789";
        s.counters = {1, 2, 3, 4};
    });
    ASSERT_TRUE(sink.WaitForCount(1));
    unsigned char buffer[1024];
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 10u);
    engine.Write(reinterpret_cast<const unsigned char*>("hello"), 5);
    PortStatistics statistics = engine.Statistics();
    EXPECT_EQ(statistics.received, 10u);
    EXPECT_EQ(statistics.sent, 5u);
    EXPECT_EQ(statistics.dropped, 0u);
    ASSERT_TRUE(statistics.lineCountersKnown);
    EXPECT_EQ(statistics.line.overrun, 1u);
    EXPECT_EQ(statistics.line.breaks, 4u);

    device->Update([](FakeDeviceState& s) { s.keepsCounters = false; });
    EXPECT_FALSE(engine.Statistics().lineCountersKnown);

    engine.Close();
    ASSERT_TRUE(engine.Open());
    EXPECT_EQ(engine.Statistics().received, 0u) << "counted from each opening";
}

TEST_F(PortEngineOnFakeDevice, ALostDeviceIsAnnouncedOnceAfterItsLastBytesAndNotWatchedAgain)
{
    OpenWithSink();
    device->Update([](FakeDeviceState& s) { s.input = "last words"; });
    ASSERT_TRUE(sink.WaitForCount(1));
    device->Update([](FakeDeviceState& s) { s.lost = true; });
    ASSERT_TRUE(sink.WaitForCount(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_THAT(Messages(), ElementsAre(WM_COMM_RXCHAR, WM_COMM_LOST));
    auto waits = [this] {
        std::lock_guard lock(device->mutex);
        return device->waits;
    };
    const int waitsAfterLoss = waits();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(waits(), waitsAfterLoss) << "the monitor thread has ended";
    engine.Close();
    EXPECT_FALSE(engine.IsOpen());
}

// Keeps what it is given to answer, and answers nothing.
class ListeningResponder : public ReceiveResponder {
public:
    std::string Respond(const unsigned char* bytes, std::size_t count) override
    {
        std::lock_guard lock(mutex_);
        heard_.append(reinterpret_cast<const char*>(bytes), count);
        return {};
    }
    std::string Heard()
    {
        std::lock_guard lock(mutex_);
        return heard_;
    }

private:
    std::mutex mutex_;
    std::string heard_;
};

TEST_F(PortEngineOnFakeDevice, LineErrorsDiscardWhatWasReadAheadAndTheDevicesInput)
{
    ListeningResponder responder;
    engine.SetReceiveResponder(&responder);
    OpenWithSink();
    device->Update([](FakeDeviceState& s) { s.input = "before"; });
    ASSERT_TRUE(sink.WaitForCount(1));
    // The error comes with the next bytes; the monitor thread notes it as it reads them. The
    // owner reads while the monitor thread is still in that read.
    device->Update([](FakeDeviceState& s) {
        s.lineErrors = CE_FRAME;
        s.input = "bad";
        s.readReturnsAfter = 20ms;
    });
    ASSERT_TRUE(device->WaitUntil([](const FakeDeviceState& s) { return s.input.empty(); }));
    const int purgesBefore = device->inputPurges;

    unsigned char buffer[1024];
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 0u) << "what came before and with the error is dropped";
    EXPECT_EQ(device->inputPurges, purgesBefore + 1);
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 0u);

    device->Update([](FakeDeviceState& s) {
        s.input = "after";
        s.readReturnsAfter = 0ms;
    });
    ASSERT_TRUE(sink.WaitForCount(2));
    ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "after");
    EXPECT_EQ(engine.Statistics().received, 5u);
    EXPECT_EQ(responder.Heard(), "beforeafter") << "bytes read with the error are not answered";
    engine.Close();
}

TEST_F(PortEngineOnFakeDevice, AnErrorEventReportsTheFlagsTheReadAheadFound)
{
    OpenWithSink();
    // Once a first byte is announced the input is surely watched.
    device->Update([](FakeDeviceState& s) { s.input = "a"; });
    ASSERT_TRUE(sink.WaitForCount(1));
    unsigned char buffer[16];
    ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), 1u);

    device->Update([](FakeDeviceState& s) {
        s.lineErrors = CE_OVERRUN;
        s.input = "x";
        s.raisedEvents = EV_ERR;
    });
    ASSERT_TRUE(sink.WaitForCount(3));
    EXPECT_THAT(sink.Notifications(),
                ElementsAre(Notification{WM_COMM_RXCHAR, kPort, 0}, Notification{WM_COMM_RXCHAR, kPort, 0},
                            Notification{WM_COMM_ERROR, kPort, static_cast<long>(CE_OVERRUN)}));
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 0u);
}

TEST_F(PortEngineOnFakeDevice, ALossWaitsUntilEveryByteTheDeviceHeldIsAnnouncedAndCanStillBeRead)
{
    OpenWithSink();
    std::string sent(PortEngine::kReadAheadSize + 30000, '\0');
    for (std::size_t index = 0; index < sent.size(); ++index) {
        sent[index] = static_cast<char>(index % 253);
    }
    device->Update([&](FakeDeviceState& s) {
        s.inputOutlivesLoss = true;
        s.input = sent;
    });
    constexpr std::size_t kShares = PortEngine::kReadAheadSize / PortEngine::kReceiveReadSize;
    ASSERT_TRUE(sink.WaitForCount(kShares));
    device->Update([](FakeDeviceState& s) { s.lost = true; });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(sink.Notifications().size(), kShares) << "no loss yet: the device still holds bytes";

    // The owner reads one share per notification, in order, until the loss.
    std::string received;
    unsigned char buffer[1024];
    for (std::size_t index = 0;; ++index) {
        ASSERT_TRUE(sink.WaitForCount(index + 1)) << "stalled after " << received.size() << " bytes";
        const Notification notification = sink.Notifications()[index];
        if (notification.message == WM_COMM_LOST) {
            EXPECT_EQ(index + 1, sink.Notifications().size()) << "the loss comes last";
            break;
        }
        ASSERT_EQ(notification.message, WM_COMM_RXCHAR);
        const std::size_t count = engine.ReadReceived(buffer, sizeof buffer);
        received.append(reinterpret_cast<char*>(buffer), count);
    }
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size();
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 0u);
    engine.Close();
}

TEST_F(PortEngineOnFakeDevice, AnIoErrorOnTheOwnersThreadIsAnnouncedAsALoss)
{
    OpenWithSink();
    {
        std::lock_guard lock(device->mutex);
        device->lost = true;  // unseen by the waiting thread until someone wakes it
    }
    engine.Write(reinterpret_cast<const unsigned char*>("x"), 1);
    ASSERT_TRUE(sink.WaitForCount(1));
    EXPECT_THAT(Messages(), ElementsAre(WM_COMM_LOST));
}

TEST_F(PortEngineOnFakeDevice, ADeviceThatVanishesDuringSetStateIsAnnouncedOnce)
{
    ASSERT_TRUE(engine.Open());
    device->Update([](FakeDeviceState& s) { s.failsSettings = true; });
    EXPECT_FALSE(engine.SetState("9600,n,8,1"));
    // The monitor thread sees the loss before any receiver is set; the receiver set later hears it.
    std::this_thread::sleep_for(50ms);
    engine.SetNotificationSink(&sink);
    ASSERT_TRUE(sink.WaitForCount(1));
    std::this_thread::sleep_for(50ms);
    EXPECT_THAT(Messages(), ElementsAre(WM_COMM_LOST));
}

TEST_F(PortEngineOnFakeDevice, AReplacedDeviceNodeIsALoss)
{
    OpenWithSink();
    EXPECT_TRUE(engine.CheckDevice());
    device->Update([](FakeDeviceState& s) { s.present = false; });
    EXPECT_FALSE(engine.CheckDevice());
    ASSERT_TRUE(sink.WaitForCount(1));
    EXPECT_THAT(Messages(), ElementsAre(WM_COMM_LOST));
}

TEST_F(PortEngineOnFakeDevice, AFailedOpenKeepsTheDevicesReason)
{
    device->opens = false;
    EXPECT_FALSE(engine.Open());
    EXPECT_EQ(engine.LastOpenError().failure, OpenFailure::InUse);
    EXPECT_FALSE(engine.IsOpen());
}

}  // namespace
