#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>

#include "platform/TcpConnector.h"
#include "tests/support/TestSockets.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A listening socket on a loopback address that never accepts.
class Listener {
public:
    Listener(int family, int backlog) : socket_(test_sockets::Listen(family, backlog, port_)) {}
    ~Listener() { Close(); }
    std::uint16_t Port() const { return port_; }
    void Close()
    {
        test_sockets::Close(socket_);
        socket_ = test_sockets::kNone;
    }

private:
    std::uint16_t port_ = 0;
    test_sockets::Handle socket_;
};

// A resolver that answers only when the test lets it, as one whose name server is away.
struct StuckResolver {
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;

    void Release()
    {
        std::lock_guard lock(mutex);
        open = true;
        released.notify_all();
    }
};

NameResolver ResolverStuckOn(const std::shared_ptr<StuckResolver>& stuck)
{
    return [stuck](const std::string&, std::vector<std::string>& addresses) {
        std::unique_lock lock(stuck->mutex);
        stuck->released.wait(lock, [&] { return stuck->open; });
        addresses.push_back("127.0.0.1");
        return ResolveStatus::Resolved;
    };
}

void ExpectConnected(const ConnectResult& result)
{
    EXPECT_EQ(result.failure, NetworkFailure::None) << result.reason;
    EXPECT_TRUE(result.socket.IsOpen());
}

}  // namespace

TEST(TcpConnector, ConnectsToAddressesAndNames)
{
    Listener v4(AF_INET, 4);
    Listener v6(AF_INET6, 4);
    TcpConnector connector;
    ExpectConnected(connector.Connect("127.0.0.1", v4.Port(), Clock::now() + 3s));
    ExpectConnected(connector.Connect("localhost", v4.Port(), Clock::now() + 3s));
    if (v6.Port() != 0) {
        ExpectConnected(connector.Connect("::1", v6.Port(), Clock::now() + 3s));
    }
}

TEST(TcpConnector, TellsRefusedFromUnresolvedFromTimedOut)
{
    TcpConnector connector;
    Listener closed(AF_INET, 1);
    const std::uint16_t port = closed.Port();
    closed.Close();
    ConnectResult refused = connector.Connect("127.0.0.1", port, Clock::now() + 3s);
    EXPECT_EQ(refused.failure, NetworkFailure::Refused);
    EXPECT_FALSE(refused.socket.IsOpen());
    EXPECT_NE(refused.reason.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << refused.reason;

    ConnectResult unknown = connector.Connect("no-such-host.invalid", 2000, Clock::now() + 3s);
    EXPECT_EQ(unknown.failure, NetworkFailure::NameNotResolved) << unknown.reason;
    EXPECT_NE(unknown.reason.find("no-such-host.invalid"), std::string::npos);

    // A listener whose queue is full drops the handshake: nothing answers.
    Listener full(AF_INET, 0);
    const ConnectResult first = connector.Connect("127.0.0.1", full.Port(), Clock::now() + 3s);
    const auto start = Clock::now();
    ConnectResult silent = connector.Connect("127.0.0.1", full.Port(), start + 300ms);
    const auto waited = Clock::now() - start;
    EXPECT_EQ(silent.failure, NetworkFailure::TimedOut) << silent.reason;
    EXPECT_GE(waited, 290ms);
    EXPECT_LT(waited, 2s);
}

TEST(TcpConnector, AHangingResolverNeverHoldsTheCallerPastTheDeadline)
{
    auto stuck = std::make_shared<StuckResolver>();
    TcpConnector connector(ResolverStuckOn(stuck));
    const auto start = Clock::now();
    const ConnectResult result = connector.Connect("stuck.example", 1, start + 200ms);
    EXPECT_EQ(result.failure, NetworkFailure::TimedOut);
    EXPECT_LT(Clock::now() - start, 2s);
    stuck->Release();
}

TEST(TcpConnector, CancelEndsAConnectAtOnceUntilReset)
{
    auto stuck = std::make_shared<StuckResolver>();
    TcpConnector connector(ResolverStuckOn(stuck));
    const auto start = Clock::now();
    auto connecting = std::async(std::launch::async, [&] { return connector.Connect("stuck.example", 1, start + 10s); });
    std::this_thread::sleep_for(50ms);
    connector.Cancel();
    const ConnectResult cancelled = connecting.get();
    EXPECT_EQ(cancelled.failure, NetworkFailure::Cancelled);
    EXPECT_LT(Clock::now() - start, 5s);

    // Cancelled stays cancelled, even for a connection that would succeed, until Reset.
    Listener listener(AF_INET, 4);
    EXPECT_EQ(connector.Connect("127.0.0.1", listener.Port(), Clock::now() + 3s).failure, NetworkFailure::Cancelled);
    connector.Reset();
    ExpectConnected(connector.Connect("127.0.0.1", listener.Port(), Clock::now() + 3s));
    stuck->Release();
}
