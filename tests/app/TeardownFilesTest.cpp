// Config.ini and Default.pol written the way teardown writes them, by child processes that are
// killed at any moment or that close at the same moment as another copy.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/Settings.h"
#include "platform/WholeFile.h"
#include "scheme/SchemeFile.h"
#include "tests/platform/TempDir.h"
#include "tests/support/LargeConfig.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Scheme {
    RuleList rules;
    int interval = 200;
    SendList sendList;
};

Scheme MakeScheme(const std::string& tag, int ruleCount)
{
    Scheme scheme;
    for (int index = 0; index < ruleCount; ++index) {
        scheme.rules.push_back(std::make_unique<ProtocolRule>(
            ProtocolRule{tag + " rule " + std::to_string(index), "AA 55 " + std::to_string(index), tag, 1, 0}));
        scheme.sendList.push_back(std::make_shared<SendItem>(SendItem{0, tag, "data " + std::to_string(index)}));
    }
    return scheme;
}

WindowSettings MakeSettings(int port, const std::string& sendData)
{
    WindowSettings settings;
    settings.port = port;
    settings.autoClear = 1;
    settings.interval = 1000 + port;
    settings.sendData = sendData;
    return settings;
}

// One version of the two files a closing window writes, and the bytes it writes.
struct Version {
    Scheme scheme;
    WindowSettings settings;
    std::string schemeText;
    std::string configText;
};

Version MakeVersion(const std::string& tag, int port, const std::string& oldConfig)
{
    Version version{MakeScheme(tag, 200), MakeSettings(port, tag), {}, {}};
    version.schemeText = SchemeFileText(version.scheme.rules, version.scheme.interval, version.scheme.sendList);
    ProfileDocument config(oldConfig);
    StoreSettings(config, version.settings);
    version.configText = config.Text();
    return version;
}

class TeardownFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::string schemePath = dir.File("Default.pol");
    std::string configPath = dir.File("Config.ini");
    std::string oldScheme = SchemeFileText(MakeScheme("old", 200).rules, 200, {});
    std::string oldConfig = LargeConfig(0, "/dev/ttyUSB7") + std::string(128 * 1024, ';') + "\r\n";

    void RestoreOldFiles() const
    {
        WriteFile(schemePath, oldScheme);
        WriteFile(configPath, oldConfig);
    }

    // What ExchangeSettings(false) does: the scheme first, then the settings.
    void WriteAsTeardownDoes(const Version& version) const
    {
        ExportSchemeFile(schemePath, version.scheme.rules, version.scheme.interval, version.scheme.sendList);
        SaveSettings(configPath, version.settings);
    }

    // A child that writes `version` after waiting `delay`; the child ends with _exit so that
    // nothing of the test runs twice.
    pid_t StartWriter(const Version& version, std::chrono::microseconds delay = {}, bool asAStartingCopy = false) const
    {
        const pid_t child = ::fork();
        if (child == 0) {
            std::this_thread::sleep_for(delay);
            if (asAStartingCopy) {
                RemoveStaleTemporaryFiles(dir.Path());
            }
            WriteAsTeardownDoes(version);
            ::_exit(0);
        }
        return child;
    }

    static bool EndedNormally(pid_t child)
    {
        int status = 0;
        return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    bool HoldsTemporaryFiles() const
    {
        for (const std::string& name : Names()) {
            if (IsTemporaryFileName(name)) {
                return true;
            }
        }
        return false;
    }

    // The longest of three uninterrupted writes.
    Clock::duration TimeOfAWrite(const Version& version) const
    {
        Clock::duration longest{};
        for (int run = 0; run < 3; ++run) {
            RestoreOldFiles();
            const auto start = Clock::now();
            EXPECT_TRUE(EndedNormally(StartWriter(version)));
            longest = std::max(longest, Clock::now() - start);
        }
        return longest;
    }

    const std::set<std::string> bothFiles{"Config.ini", "Default.pol"};
};

TEST_F(TeardownFiles, AKillAtAnyMomentLeavesEachFileOldOrNewAndTheNextStartRemovesTheRest)
{
    const Version next = MakeVersion("new", 5, oldConfig);
    ASSERT_NE(next.configText, oldConfig);
    // Kills spread evenly over the whole write and a little beyond, each at a random moment
    // within its share.
    constexpr int kKills = 210;
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(TimeOfAWrite(next) * 11 / 10);
    std::mt19937 random(::testing::UnitTest::GetInstance()->random_seed());
    std::uniform_real_distribution<double> withinShare(0, 1);
    int oldScheme = 0;
    int newSchemeOldConfig = 0;
    int bothNew = 0;
    int temporaryLeft = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        RestoreOldFiles();
        const auto delay = std::chrono::microseconds(
            static_cast<long long>(static_cast<double>(span.count()) * (kill + withinShare(random)) / kKills));
        const pid_t child = StartWriter(next);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(delay);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        const std::string scheme = ReadFile(schemePath);
        const std::string config = ReadFile(configPath);
        ASSERT_TRUE(scheme == this->oldScheme || scheme == next.schemeText) << "kill " << kill << " after " << delay.count() << " us";
        ASSERT_TRUE(config == oldConfig || config == next.configText) << "kill " << kill << " after " << delay.count() << " us";
        ASSERT_TRUE(scheme == next.schemeText || config == oldConfig) << "Config.ini was written before Default.pol";
        oldScheme += scheme == this->oldScheme;
        newSchemeOldConfig += scheme == next.schemeText && config == oldConfig;
        bothNew += config == next.configText;
        temporaryLeft += HoldsTemporaryFiles();

        RemoveStaleTemporaryFiles(dir.Path());
        ASSERT_EQ(Names(), bothFiles) << "kill " << kill;
    }
    RecordProperty("KilledBeforeTheScheme", oldScheme);
    RecordProperty("KilledBetweenTheFiles", newSchemeOldConfig);
    RecordProperty("KilledAfterBoth", bothNew);
    RecordProperty("KilledWhileWriting", temporaryLeft);
    EXPECT_GT(oldScheme, 0);
    EXPECT_GT(newSchemeOldConfig, 0);
    EXPECT_GT(temporaryLeft, 0) << "no kill fell inside a write";
}

TEST_F(TeardownFiles, TwoCopiesClosingTogetherLeaveOneCompleteVersionOfEachFile)
{
    const Version first = MakeVersion("first", 1, oldConfig);
    const Version second = MakeVersion("second", 2, oldConfig);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(TimeOfAWrite(first));
    std::mt19937 random(::testing::UnitTest::GetInstance()->random_seed());
    std::uniform_int_distribution<long long> offset(0, span.count());
    std::set<std::string> winners;
    for (int round = 0; round < 40; ++round) {
        RestoreOldFiles();
        // Each copy also starts as a copy does, removing stale temporary files: never the
        // other's file in the middle of its write.
        const pid_t one = StartWriter(first, std::chrono::microseconds(offset(random)), true);
        const pid_t other = StartWriter(second, std::chrono::microseconds(offset(random)), true);
        ASSERT_TRUE(EndedNormally(one));
        ASSERT_TRUE(EndedNormally(other));

        const std::string scheme = ReadFile(schemePath);
        const std::string config = ReadFile(configPath);
        ASSERT_TRUE(scheme == first.schemeText || scheme == second.schemeText) << "round " << round;
        ASSERT_TRUE(config == first.configText || config == second.configText) << "round " << round;
        ASSERT_EQ(Names(), bothFiles) << "round " << round;
        winners.insert(scheme == first.schemeText ? "first" : "second");
    }
    RecordProperty("Winners", static_cast<int>(winners.size()));
}

}  // namespace
