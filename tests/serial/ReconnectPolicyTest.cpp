#include <gtest/gtest.h>

#include <set>

#include "serial/ReconnectPolicy.h"

namespace {

using namespace std::chrono_literals;

class FakePresence : public DevicePresence {
public:
    bool DeviceExists(const std::string& path) const override { return present.count(path) != 0; }
    std::set<std::string> present;
};

class ReconnectPolicyTest : public ::testing::Test {
protected:
    FakePresence devices;
    ReconnectPolicy::Clock::time_point now{};
    ReconnectPolicy policy{devices, [this] { return now; }};
};

TEST_F(ReconnectPolicyTest, ALostPortIsTriedAsSoonAsItsDeviceIsBack)
{
    policy.SetEnabled(true);
    policy.PortLost(3, "/dev/ttyUSB0");
    EXPECT_TRUE(policy.Waiting());
    EXPECT_EQ(policy.PortNumber(), 3);
    EXPECT_FALSE(policy.ShouldTryNow());
    EXPECT_FALSE(policy.AskAgainIn()) << "an absent device is waited for, not polled";

    devices.present.insert("/dev/ttyUSB0");
    EXPECT_TRUE(policy.ShouldTryNow());
    policy.AttemptSucceeded();
    EXPECT_FALSE(policy.Waiting());
    EXPECT_FALSE(policy.ShouldTryNow());
}

TEST_F(ReconnectPolicyTest, AMonitoredPortIsBackWhenItsDeviceIs)
{
    policy.SetEnabled(true);
    policy.PortLost(8, "monitor:/dev/ttyUSB0,meter");
    EXPECT_FALSE(policy.ShouldTryNow());
    devices.present.insert("/dev/ttyUSB0");
    EXPECT_TRUE(policy.ShouldTryNow());
}

TEST_F(ReconnectPolicyTest, ADeviceThatIsThereButDoesNotOpenIsRetriedAtMostFourTimesASecondThenLessOften)
{
    policy.SetEnabled(true);
    devices.present.insert("/dev/ttyACM0");
    policy.PortLost(11, "/dev/ttyACM0");
    std::vector<ReconnectPolicy::Clock::duration> gaps;
    auto last = now;
    for (int attempt = 0; attempt < 6; ++attempt) {
        while (!policy.ShouldTryNow()) {
            ASSERT_TRUE(policy.AskAgainIn());
            now += *policy.AskAgainIn();
        }
        gaps.push_back(now - last);
        last = now;
        policy.AttemptFailed();
        EXPECT_FALSE(policy.ShouldTryNow()) << "not again at once";
    }
    EXPECT_EQ(gaps[1], 250ms);
    EXPECT_EQ(gaps[2], 500ms);
    EXPECT_EQ(gaps[5], 2000ms) << "the wait between tries stops growing";

    devices.present.clear();
    EXPECT_FALSE(policy.AskAgainIn()) << "a device that went again is waited for";
    EXPECT_TRUE(policy.Waiting());
}

TEST_F(ReconnectPolicyTest, ACloseByTheUserOrTurningTheOptionOffCancelsTheWait)
{
    devices.present.insert("/dev/ttyUSB1");
    policy.SetEnabled(true);
    policy.PortLost(2, "/dev/ttyUSB1");
    policy.Cancel();
    EXPECT_FALSE(policy.ShouldTryNow());

    policy.PortLost(2, "/dev/ttyUSB1");
    policy.SetEnabled(false);
    EXPECT_FALSE(policy.Waiting());
    policy.SetEnabled(true);
    EXPECT_FALSE(policy.ShouldTryNow()) << "turning it on again does not bring back an old loss";
}

TEST_F(ReconnectPolicyTest, WithTheOptionOffALossIsNotWaitedFor)
{
    devices.present.insert("/dev/ttyUSB0");
    policy.PortLost(1, "/dev/ttyUSB0");
    EXPECT_FALSE(policy.Waiting());
    EXPECT_FALSE(policy.ShouldTryNow());
}

TEST_F(ReconnectPolicyTest, ANetworkPortIsTriedAtOnceThenOnTheBackOffOneAttemptAtATime)
{
    policy.SetEnabled(true);
    policy.PortLost(4, "rfc2217://lab:4001");
    EXPECT_TRUE(policy.ShouldTryNow()) << "no node to wait for";
    policy.AttemptStarted();
    EXPECT_FALSE(policy.ShouldTryNow()) << "one attempt at a time";
    EXPECT_FALSE(policy.AskAgainIn()) << "nothing to ask while it goes on";
    now += 10s;
    EXPECT_FALSE(policy.ShouldTryNow());
    policy.AttemptFailed();
    ASSERT_TRUE(policy.AskAgainIn());
    EXPECT_EQ(*policy.AskAgainIn(), 250ms);
    now += 250ms;
    EXPECT_TRUE(policy.ShouldTryNow());
    policy.AttemptStarted();
    policy.Cancel();
    EXPECT_FALSE(policy.Waiting());
    policy.PortLost(4, "tcp://lab:4001");
    EXPECT_TRUE(policy.ShouldTryNow()) << "a new loss starts afresh";
}

}  // namespace
