#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>

#include "serial/PortEngine.h"
#include "tests/platform/TempDir.h"
#include "tests/support/ManualClock.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/serial/RecordingSink.h"
#include "tests/serial/TermiosProbe.h"

namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

constexpr int kPort = 7;

class PortEngineOnPty : public ::testing::Test {
protected:
    PortEngineOnPty()
    {
        WriteFile(config, "[Setting]\r\nPort=6\r\n[Ports]\r\nCOM7=" + pty.SlavePath() + "\r\nCOM8=" + dir.File("absent") + "\r\n");
        Configure(engine);
    }

    void Configure(PortEngine& target, int port = kPort)
    {
        target.SetPortNumber(port);
        target.SetDeviceName("\\\\.\\COM" + std::to_string(port));
        target.SetPortMapFile(config);
    }

    void OpenWithSink()
    {
        ASSERT_TRUE(engine.Open());
        ASSERT_TRUE(engine.Setup());
        ASSERT_TRUE(engine.SetState("9600,n,8,1"));
        engine.SetNotificationSink(&sink);
    }

    ReportedLine Line() const
    {
        ReportedLine line;
        EXPECT_TRUE(ProbeLine(pty.Master(), line));
        return line;
    }

    static std::string Pattern(std::size_t size, unsigned seed)
    {
        std::string bytes(size, '\0');
        for (std::size_t index = 0; index < size; ++index) {
            bytes[index] = static_cast<char>((index * 131 + seed) % 251);
        }
        return bytes;
    }

    TempDir dir;
    std::string config = dir.File("Config.ini");
    PseudoTerminal pty;
    RecordingSink sink;
    PortEngine engine;
};

const Notification kReceived{1642, kPort, 0};

TEST_F(PortEngineOnPty, OpensRawAndClosesIdempotently)
{
    EXPECT_FALSE(engine.IsOpen());
    ASSERT_TRUE(engine.Open());
    EXPECT_TRUE(engine.IsOpen());
    EXPECT_TRUE(engine.Setup());
    EXPECT_TRUE(Line().raw);
    EXPECT_TRUE(engine.Open());  // reopening closes first
    engine.Close();
    EXPECT_FALSE(engine.IsOpen());
    engine.Close();
    EXPECT_FALSE(engine.IsOpen());
    EXPECT_FALSE(engine.Setup());
    EXPECT_FALSE(engine.SetState("9600,n,8,1"));
}

TEST_F(PortEngineOnPty, AbsentOrUnmappedDevicesDoNotOpen)
{
    for (const int port : {8, 60, 0}) {
        PortEngine other;
        Configure(other, port);
        EXPECT_FALSE(other.Open()) << port;
        EXPECT_FALSE(other.IsOpen());
    }
}

TEST_F(PortEngineOnPty, DeviceNameKeepsNineteenBytes)
{
    engine.SetDeviceName("\\\\.\\COM7" + std::string(40, '9'));
    EXPECT_EQ(engine.DeviceName().size(), 19u);
}

TEST_F(PortEngineOnPty, OpenIsExclusive)
{
    ASSERT_TRUE(engine.Open());
    PortEngine second;
    Configure(second);
    EXPECT_FALSE(second.Open());
    EXPECT_FALSE(second.IsOpen());
    engine.Close();
    EXPECT_TRUE(second.Open());
}

TEST_F(PortEngineOnPty, SetStateAppliesGoodSettings)
{
    ASSERT_TRUE(engine.Open());
    ASSERT_TRUE(engine.SetState("9600,n,8,1"));
    EXPECT_EQ(Line(), (ReportedLine{9600, 8, false, false, false, false, true}));
    ASSERT_TRUE(engine.SetState("115200,n,8,2"));
    EXPECT_EQ(Line(), (ReportedLine{115200, 8, false, false, false, true, true}));
    ASSERT_TRUE(engine.SetState("baud=19200 parity=N data=8 stop=1"));
    EXPECT_EQ(Line(), (ReportedLine{19200, 8, false, false, false, false, true}));
    ASSERT_TRUE(engine.SetState("250000,n,8,1"));
    EXPECT_EQ(Line(), (ReportedLine{250000, 8, false, false, false, false, true}));
}

TEST_F(PortEngineOnPty, RefusedSettingsKeepThePortAsItWas)
{
    ASSERT_TRUE(engine.Open());
    ASSERT_TRUE(engine.SetState("115200,n,8,2"));
    const ReportedLine before = Line();
    // Text the grammar refuses, and settings a pseudo-terminal cannot take (it always
    // carries 8 data bits without parity), leave the port as it was.
    for (const char* text : {"hello", "9600,x,8,1", "9600,n,9,1", "9600,n,8,3", "9600,n,8,1.5", "", "115200,e,7,2",
                             "300,o,5,1.5", "9600,m,8,1"}) {
        EXPECT_FALSE(engine.SetState(text)) << text;
        EXPECT_EQ(Line(), before) << text;
    }
    EXPECT_TRUE(engine.SetState("9600,n,8,1"));  // still usable
}

TEST_F(PortEngineOnPty, AByteOnTheDevicePostsOneReceiveNotification)
{
    OpenWithSink();
    pty.Write("A");
    ASSERT_TRUE(sink.WaitForCount(1));
    const std::uint64_t wakes = engine.MonitorWakeCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // While the notification is outstanding the waiting byte neither re-posts nor wakes the thread.
    EXPECT_THAT(sink.Notifications(), ElementsAre(kReceived));
    EXPECT_LE(engine.MonitorWakeCount(), wakes + 1);

    unsigned char buffer[1024];
    ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), 1u);
    EXPECT_EQ(buffer[0], 'A');
    pty.Write("B");
    ASSERT_TRUE(sink.WaitForCount(2));
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 1u);
    EXPECT_THAT(sink.Notifications(), ElementsAre(kReceived, kReceived));
}

class EchoResponder : public ReceiveResponder {
public:
    std::string Respond(const unsigned char* bytes, std::size_t count) override
    {
        return "<" + std::string(reinterpret_cast<const char*>(bytes), count) + ">";
    }
};

TEST_F(PortEngineOnPty, AResponderAnswersOnTheMonitorThreadBeforeTheOwnerReads)
{
    EchoResponder responder;
    engine.SetReceiveResponder(&responder);
    OpenWithSink();
    pty.Write("ping");
    EXPECT_EQ(pty.Read(6, std::chrono::seconds(5)), "<ping>");
    ASSERT_TRUE(sink.WaitForCount(1));
    unsigned char buffer[1024];
    ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), 4u) << "the owner still gets the bytes";
    EXPECT_EQ(engine.Statistics().sent, 6u);

    engine.SetReceiveResponder(nullptr);
    pty.Write("x");
    ASSERT_TRUE(sink.WaitForCount(2));
    EXPECT_EQ(pty.Read(1, std::chrono::milliseconds(100)), "");
}

TEST_F(PortEngineOnPty, RepliesAndTheOwnersWritesGoOutWholeSideBySide)
{
    EchoResponder responder;
    engine.SetReceiveResponder(&responder);
    OpenWithSink();
    constexpr int kEach = 200;
    std::thread owner([this] {
        for (int i = 0; i < kEach; ++i) {
            static const unsigned char kLine[] = "[owner]";
            engine.Write(kLine, sizeof kLine - 1);
        }
    });
    std::string got;
    for (int i = 0; i < kEach; ++i) {
        pty.Write("ping");
        got += pty.ReadAvailable();
    }
    owner.join();
    const auto complete = [&got] {
        const auto count = [&got](char c) { return std::count(got.begin(), got.end(), c); };
        return count(']') == kEach && count('p') == kEach && count('<') == count('>');
    };
    for (int wait = 0; wait < 500 && !complete(); ++wait) {
        got += pty.Read(4096, std::chrono::milliseconds(10));
    }
    // Each write stays whole: taking out the owner's lines leaves only replies to whole reads.
    std::string replies;
    int ownerLines = 0;
    for (std::size_t at = 0; at < got.size();) {
        if (got.compare(at, 7, "[owner]") == 0) {
            ++ownerLines;
            at += 7;
        } else {
            replies += got[at++];
        }
    }
    EXPECT_EQ(ownerLines, kEach);
    EXPECT_THAT(replies, MatchesRegex("(<(ping)+>)+"));
    EXPECT_EQ(std::count(replies.begin(), replies.end(), 'p'), kEach);
    engine.SetReceiveResponder(nullptr);
}

TEST_F(PortEngineOnPty, BytesLeftAfterAReadGetANewNotification)
{
    ASSERT_TRUE(engine.Open());
    ASSERT_TRUE(engine.Setup());
    const std::string sent = Pattern(1500, 3);
    pty.Write(sent);
    ASSERT_TRUE(pty.WaitQueuedForProgram(1500));
    engine.SetNotificationSink(&sink);  // bytes that waited before the sink was set are announced

    ASSERT_TRUE(sink.WaitForCount(1));
    unsigned char buffer[1024];
    std::string received;
    ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), 1024u);
    received.append(reinterpret_cast<char*>(buffer), 1024);
    ASSERT_TRUE(sink.WaitForCount(2));
    ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), 476u);
    received.append(reinterpret_cast<char*>(buffer), 476);
    EXPECT_EQ(received, sent);
    EXPECT_THAT(sink.Notifications(), ElementsAre(kReceived, kReceived));
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 0u);  // a late notification finds nothing
}

TEST_F(PortEngineOnPty, ABurstGetsOneNotificationPerReadItNeedsAtOnce)
{
    ASSERT_TRUE(engine.Open());
    ASSERT_TRUE(engine.Setup());
    const std::string sent = Pattern(3000, 5);
    pty.Write(sent);
    ASSERT_TRUE(pty.WaitQueuedForProgram(3000));
    engine.SetNotificationSink(&sink);

    // Three reads' worth waits, so three notifications are posted before any is handled, and
    // the owner never has to wait for the monitor thread between them.
    ASSERT_TRUE(sink.WaitForCount(3));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_THAT(sink.Notifications(), ElementsAre(kReceived, kReceived, kReceived));
    unsigned char buffer[1024];
    std::string received;
    for (const std::size_t expected : {1024u, 1024u, 952u}) {
        ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), expected);
        received.append(reinterpret_cast<char*>(buffer), expected);
    }
    EXPECT_EQ(received, sent);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sink.Notifications().size(), 3u) << "nothing is left to announce";
}

// A receiver so quick that it reads each notification before the post has even returned.
class ImmediateReader : public NotificationSink {
public:
    explicit ImmediateReader(PortEngine& engine) : engine_(engine) {}
    bool IsAlive() const override { return true; }
    void Post(unsigned message, int, long) override
    {
        if (message != WM_COMM_RXCHAR) {
            return;
        }
        unsigned char buffer[1024];
        const std::size_t count = engine_.ReadReceived(buffer, sizeof buffer);
        std::lock_guard lock(mutex_);
        received_.append(reinterpret_cast<char*>(buffer), count);
    }
    void ReportFailure(const std::string&, const std::string&) override {}
    std::string Received() const
    {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    PortEngine& engine_;
    mutable std::mutex mutex_;
    std::string received_;
};

TEST_F(PortEngineOnPty, AReceiverThatReadsAtOnceNeverStrandsData)
{
    ImmediateReader reader(engine);
    ASSERT_TRUE(engine.Open());
    ASSERT_TRUE(engine.Setup());
    engine.SetNotificationSink(&reader);
    std::string sent;
    for (unsigned part = 0; part < 12; ++part) {
        const std::string piece = Pattern(300 + part * 37, part);
        pty.Write(piece);
        sent += piece;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (reader.Received().size() < sent.size() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(reader.Received(), sent);
    engine.Close();
}

// Writes on the device side from a thread of its own. However the test ends, the writer ends:
// the port is closed and what is still sent is drained through the pair's own slave side.
class DeviceWriter {
public:
    DeviceWriter(const PseudoTerminal& pty, PortEngine& engine, const std::string& bytes)
        : pty_(pty), engine_(engine), thread_([this, &bytes] {
              pty_.Write(bytes);
              done_ = true;
          })
    {
    }
    ~DeviceWriter()
    {
        engine_.Close();
        char sink[4096];
        while (!done_) {
            pollfd descriptor{pty_.Slave(), POLLIN, 0};
            if (::poll(&descriptor, 1, 10) > 0) {
                [[maybe_unused]] const ssize_t drained = ::read(pty_.Slave(), sink, sizeof sink);
            }
        }
        thread_.join();
    }

private:
    const PseudoTerminal& pty_;
    PortEngine& engine_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// A receiver on a thread of its own, as the window is: it reads once for each receive
// notification, in order, and can stop reading for a while.
class ThreadedReader : public NotificationSink {
public:
    explicit ThreadedReader(PortEngine& engine) : engine_(engine), thread_([this] { Run(); }) {}
    ~ThreadedReader() override
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    bool IsAlive() const override { return true; }
    void Post(unsigned message, int, long) override
    {
        if (message == WM_COMM_RXCHAR) {
            std::lock_guard lock(mutex_);
            ++queued_;
        }
        changed_.notify_all();
    }
    void ReportFailure(const std::string&, const std::string&) override {}

    // Reads nothing until Resume.
    void Pause()
    {
        std::lock_guard lock(mutex_);
        paused_ = true;
    }
    void Resume()
    {
        {
            std::lock_guard lock(mutex_);
            paused_ = false;
        }
        changed_.notify_all();
    }
    // Waits until `size` bytes were read; false after ten seconds.
    bool WaitForBytes(std::size_t size)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return received_.size() >= size; });
    }
    std::string Received() const
    {
        std::lock_guard lock(mutex_);
        return received_;
    }
    int Notifications() const
    {
        std::lock_guard lock(mutex_);
        return notifications_ + queued_;
    }
    int EmptyReads() const
    {
        std::lock_guard lock(mutex_);
        return emptyReads_;
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return stopping_ || (queued_ > 0 && !paused_); });
            if (stopping_) {
                return;
            }
            --queued_;
            ++notifications_;
            lock.unlock();
            unsigned char buffer[1024];
            const std::size_t count = engine_.ReadReceived(buffer, sizeof buffer);
            lock.lock();
            received_.append(reinterpret_cast<char*>(buffer), count);
            emptyReads_ += count == 0 ? 1 : 0;
            changed_.notify_all();
        }
    }

    PortEngine& engine_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int queued_ = 0;
    int notifications_ = 0;
    int emptyReads_ = 0;
    bool paused_ = false;
    bool stopping_ = false;
    std::string received_;
    std::thread thread_;
};

TEST_F(PortEngineOnPty, AFloodThroughTheReadAheadBufferArrivesWholeInOrderWithANotificationPerRead)
{
    ThreadedReader reader(engine);
    ASSERT_TRUE(engine.Open());
    ASSERT_TRUE(engine.Setup());
    engine.SetNotificationSink(&reader);
    // Many times the buffer, with the reader stopping now and then so that it fills up.
    const std::string sent = Pattern(20 * PortEngine::kReadAheadSize + 123, 11);
    DeviceWriter writer(pty, engine, sent);
    for (std::size_t mark = sent.size() / 8; mark < sent.size(); mark += sent.size() / 8) {
        ASSERT_TRUE(reader.WaitForBytes(mark));
        reader.Pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        reader.Resume();
    }
    ASSERT_TRUE(reader.WaitForBytes(sent.size()));
    EXPECT_TRUE(reader.Received() == sent);
    // Each notification stands for a read's worth; only the reads at the ends of bursts,
    // when the reader caught up with the device, take less.
    EXPECT_GE(reader.Notifications(), static_cast<int>(sent.size() / PortEngine::kReceiveReadSize));
    EXPECT_LE(reader.EmptyReads(), 1);
}

TEST_F(PortEngineOnPty, AFullBufferStopsReadingTheDeviceUntilHalfOfItIsRead)
{
    OpenWithSink();
    constexpr std::size_t kShares = PortEngine::kReadAheadSize / PortEngine::kReceiveReadSize;
    const std::string sent = Pattern(PortEngine::kReadAheadSize + 20000, 13);
    DeviceWriter writer(pty, engine, sent);
    ASSERT_TRUE(sink.WaitForCount(kShares));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint64_t wakes = engine.MonitorWakeCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Read on, the device would have been emptied long ago.
    EXPECT_EQ(sink.Notifications().size(), kShares) << "the buffer is full: nothing more is read";
    EXPECT_GT(pty.QueuedForProgram(), 0u);
    EXPECT_LE(engine.MonitorWakeCount(), wakes + 1) << "a full buffer does not make the monitor thread spin";

    std::string received;
    unsigned char buffer[1024];
    for (std::size_t read = 0; read + 1 < kShares / 2; ++read) {
        ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), sizeof buffer);
        received.append(reinterpret_cast<char*>(buffer), sizeof buffer);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sink.Notifications().size(), kShares) << "less than half is free: still not read";
    EXPECT_GT(pty.QueuedForProgram(), 0u);

    // Half free: reading resumes, and every byte follows in order.
    std::size_t handled = kShares / 2 - 1;
    while (received.size() < sent.size()) {
        ASSERT_TRUE(sink.WaitForCount(handled + 1)) << "stalled after " << received.size() << " bytes";
        const std::size_t count = engine.ReadReceived(buffer, sizeof buffer);
        received.append(reinterpret_cast<char*>(buffer), count);
        ++handled;
    }
    EXPECT_TRUE(received == sent);
}

TEST_F(PortEngineOnPty, SetupDiscardsWhatWasReadAhead)
{
    OpenWithSink();
    pty.Write("stale");
    ASSERT_TRUE(sink.WaitForCount(1));
    ASSERT_EQ(pty.QueuedForProgram(), 0u) << "read ahead";
    ASSERT_TRUE(engine.Setup());
    unsigned char buffer[1024];
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 0u);
    pty.Write("fresh");
    ASSERT_TRUE(sink.WaitForCount(2));
    ASSERT_EQ(engine.ReadReceived(buffer, sizeof buffer), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "fresh");
}

using BytesAtTimes = std::vector<std::pair<long long, std::size_t>>;

// Bytes taken per read time (milliseconds since the test clock's start), runs of one time joined.
BytesAtTimes BytesByTime(const std::vector<ReceivedPiece>& pieces)
{
    BytesAtTimes result;
    for (const ReceivedPiece& piece : pieces) {
        const auto since = piece.readAt.monotonic - ManualClock::Start().monotonic;
        const long long millisecond = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
        if (!result.empty() && result.back().first == millisecond) {
            result.back().second += piece.size;
        } else {
            result.emplace_back(millisecond, piece.size);
        }
    }
    return result;
}

TEST_F(PortEngineOnPty, EveryByteIsGivenWithTheTimeItWasReadFromTheDeviceAcrossReadsAndPurges)
{
    using namespace std::chrono_literals;
    ManualClock clock;
    engine.SetReadClock(clock);
    OpenWithSink();
    auto waitReadAhead = [&](std::size_t count) {
        for (int tries = 0; tries < 5000 && engine.ReadAheadBytes() < count; ++tries) {
            std::this_thread::sleep_for(1ms);
        }
        return engine.ReadAheadBytes() == count;
    };
    pty.Write("stale");
    ASSERT_TRUE(waitReadAhead(5));
    ASSERT_TRUE(engine.Setup()) << "discards the stale bytes and their time";
    clock.Advance(10ms);
    pty.Write(std::string(1500, 'a'));
    ASSERT_TRUE(waitReadAhead(1500));
    clock.Advance(25ms);
    pty.Write("bc");
    ASSERT_TRUE(waitReadAhead(1502));

    unsigned char buffer[1024];
    std::vector<ReceivedPiece> pieces;
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer, pieces), 1024u);
    EXPECT_EQ(BytesByTime(pieces), (BytesAtTimes{{10, 1024}}));
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer, pieces), 478u);
    EXPECT_EQ(BytesByTime(pieces), (BytesAtTimes{{10, 476}, {35, 2}}));
    engine.Close();  // before the clock goes
}

TEST_F(PortEngineOnPty, NothingIsPostedToAGoneOrMissingReceiver)
{
    ASSERT_TRUE(engine.Open());
    pty.Write("x");
    ASSERT_TRUE(pty.WaitQueuedForProgram(1));
    sink.SetAlive(false);
    engine.SetNotificationSink(&sink);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    engine.Close();
    EXPECT_TRUE(sink.Notifications().empty());
}

// Exposes the event dispatch and records the notification operations it calls.
class DispatchRecorder : public PortEngine {
public:
    ~DispatchRecorder() override { Close(); }
    using PortEngine::DispatchEvents;
    std::vector<std::string> calls;

    void OnReceive() override { Record("RXCHAR"); }
    void OnTXEmpty() override { Record("TXEMPTY"); }
    void OnCTS() override { Record("CTS"); }
    void OnDSR() override { Record("DSR"); }
    void OnRLSD() override { Record("RLSD"); }
    void OnBreak() override { Record("BREAK"); }
    void OnError() override { Record("ERR"); }
    void OnRing() override { Record("RING"); }

private:
    void Record(const char* name)
    {
        calls.push_back(name);
        PortEngine::Notify(1, 0);
    }
};

TEST(PortEngineEvents, EveryBitOfAnEventWordIsDispatched)
{
    DispatchRecorder engine;
    engine.DispatchEvents(EV_RXCHAR | EV_TXEMPTY);
    EXPECT_THAT(engine.calls, ElementsAre("RXCHAR", "TXEMPTY"));
    engine.calls.clear();
    engine.DispatchEvents(PortEngine::kEventMask);
    EXPECT_THAT(engine.calls, ElementsAre("RXCHAR", "TXEMPTY", "CTS", "DSR", "RLSD", "BREAK", "ERR", "RING"));
    engine.calls.clear();
    engine.DispatchEvents(EV_RXFLAG);
    engine.DispatchEvents(0);
    EXPECT_TRUE(engine.calls.empty());
}

class ExposedEngine : public PortEngine {
public:
    ~ExposedEngine() override { Close(); }
    using PortEngine::DispatchEvents;
    void SetEventMask(unsigned mask) { eventMask_ = mask; }
};

TEST_F(PortEngineOnPty, NotificationsCarryThePortNumberAndTheirParameter)
{
    ExposedEngine exposed;
    Configure(exposed);
    ASSERT_TRUE(exposed.Open());
    exposed.SetNotificationSink(&sink);
    exposed.DispatchEvents(EV_TXEMPTY | EV_RLSD | EV_BREAK | EV_ERR | EV_RING | EV_CTS | EV_DSR);
    // A pseudo-terminal has no modem lines, so CTS and DSR (which read them) post nothing.
    EXPECT_THAT(sink.Notifications(), ElementsAre(Notification{1650, kPort, 0}, Notification{1648, kPort, 0},
                                                  Notification{1649, kPort, 0}, Notification{1651, kPort, 0},
                                                  Notification{1647, kPort, 0}));
}

TEST_F(PortEngineOnPty, AFailedEventMaskIsReportedAndTheThreadEnds)
{
    ExposedEngine exposed;
    Configure(exposed);
    exposed.SetEventMask(0x10000);
    exposed.SetNotificationSink(&sink);
    ASSERT_TRUE(exposed.Open());
    ASSERT_TRUE(sink.WaitForFailure());
    const auto failures = sink.Failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first, "Class PortEngine");
    EXPECT_THAT(failures[0].second, MatchesRegex("PortEngine\\.cpp\\([0-9]+\\) : COM7 Call WINAPI SetCommMask\\([0-9a-f]+, "
                                                 "10000\\) Fail, thread work invalid! GetLastError\\(\\) = 22;"));
    EXPECT_TRUE(exposed.IsOpen());  // the port stays open without its thread
    pty.Write("z");
    exposed.Close();
    EXPECT_TRUE(sink.Notifications().empty());
}

TEST_F(PortEngineOnPty, ManyOpenCloseCyclesLeakNothing)
{
    ASSERT_TRUE(engine.Open());
    engine.Close();
    const std::size_t descriptors = OpenDescriptorCount();
    const std::size_t threads = ThreadCount();
    engine.SetNotificationSink(&sink);
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(engine.Open()) << cycle;
        if (cycle % 2 == 0) {
            ASSERT_TRUE(engine.Setup());
            ASSERT_TRUE(engine.SetState("115200,n,8,1"));
        }
        engine.Close();
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(PortEngineOnPty, LargeWritesArriveWholeAndInOrderWhileTheDeviceDrainsSlowly)
{
    OpenWithSink();
    std::string sent;
    for (unsigned part = 0; part < 4; ++part) {
        const std::string bytes = Pattern(70000 + part, part);
        engine.Write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        sent += bytes;
    }
    EXPECT_GT(engine.PendingWriteBytes(), 0u);  // the pty did not take it all: the rest waits

    std::string received;
    while (received.size() < sent.size()) {
        const std::string chunk = pty.Read(4096, std::chrono::seconds(10));
        ASSERT_FALSE(chunk.empty()) << "stalled after " << received.size() << " bytes";
        received += chunk;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_TRUE(received == sent);
    EXPECT_EQ(engine.PendingWriteBytes(), 0u);
    EXPECT_EQ(engine.DroppedWriteBytes(), 0u);
}

TEST_F(PortEngineOnPty, AWriteTheDeviceDoesNotTakeWithinItsTimeOutIsDropped)
{
    OpenWithSink();
    const std::size_t filled = pty.StopReading();
    engine.Write(reinterpret_cast<const unsigned char*>("0123456789"), 10);  // time-out 1010 ms
    EXPECT_EQ(engine.PendingWriteBytes(), 10u);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (engine.DroppedWriteBytes() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(engine.DroppedWriteBytes(), 10u);
    EXPECT_EQ(engine.PendingWriteBytes(), 0u);
    std::size_t arrived = 0;
    for (std::string chunk; !(chunk = pty.Read(65536, std::chrono::milliseconds(50))).empty();) {
        EXPECT_EQ(chunk.find('0'), std::string::npos);
        arrived += chunk.size();
    }
    EXPECT_EQ(arrived, filled);
}

TEST_F(PortEngineOnPty, WritesBeyondTheQueueLimitAreDroppedWholeAndCounted)
{
    OpenWithSink();
    const std::string big(3 * 1024 * 1024, 'q');
    const auto* bytes = reinterpret_cast<const unsigned char*>(big.data());
    engine.Write(bytes, big.size());
    engine.Write(bytes, big.size());
    EXPECT_EQ(engine.DroppedWriteBytes(), big.size());
    EXPECT_LE(engine.PendingWriteBytes(), PendingWrites::kDefaultCapacity);
}

TEST_F(PortEngineOnPty, CloseDiscardsPendingOutputAndReturnsPromptly)
{
    OpenWithSink();
    const std::string big(1024 * 1024, 'w');
    engine.Write(reinterpret_cast<const unsigned char*>(big.data()), big.size());
    ASSERT_GT(engine.PendingWriteBytes(), 0u);
    engine.Close();
    EXPECT_EQ(engine.PendingWriteBytes(), 0u);
    std::size_t arrived = 0;
    for (std::string chunk; !(chunk = pty.Read(65536, std::chrono::milliseconds(50))).empty();) {
        arrived += chunk.size();
    }
    EXPECT_LT(arrived, big.size());
    engine.Write(reinterpret_cast<const unsigned char*>(big.data()), big.size());  // closed: nothing happens
    EXPECT_EQ(engine.PendingWriteBytes(), 0u);
}

TEST_F(PortEngineOnPty, AVanishedDeviceNeitherHangsNorSpins)
{
    OpenWithSink();
    const std::string big(256 * 1024, 'v');
    engine.Write(reinterpret_cast<const unsigned char*>(big.data()), big.size());
    pty.Vanish();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint64_t wakes = engine.MonitorWakeCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(engine.MonitorWakeCount(), wakes + 1);
    EXPECT_EQ(engine.PendingWriteBytes(), 0u);  // output for a gone device is dropped
    const auto notifications = sink.Notifications();
    EXPECT_EQ(std::count(notifications.begin(), notifications.end(), Notification{WM_COMM_LOST, kPort, 0}), 1)
        << "the loss is announced once";
    unsigned char buffer[16];
    EXPECT_EQ(engine.ReadReceived(buffer, sizeof buffer), 0u);
    engine.Write(buffer, sizeof buffer);
    engine.Close();
    EXPECT_FALSE(engine.IsOpen());
    EXPECT_FALSE(engine.Open());
    EXPECT_FALSE(engine.IsOpen());
}

}  // namespace
