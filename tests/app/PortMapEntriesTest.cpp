#include <gtest/gtest.h>
#include <unistd.h>

#include "app/PortMap.h"
#include "platform/VirtualDevice.h"
#include "platform/CodePage.h"
#include "tests/support/ScopedEnvironment.h"

namespace {

struct Described {
    std::string entry;
    PortKind kind;
    std::string device;
    std::string linkName;
};

TEST(PortMapEntries, EachEntryIsReadAsItsKindOfPort)
{
    const ScopedEnvironment runtime("XDG_RUNTIME_DIR", "/run/user/1000");
    const std::vector<Described> cases = {
        {"/dev/ttyUSB2", PortKind::Device, "/dev/ttyUSB2", ""},
        {"rfc2217://lab-rack-7:4001", PortKind::Network, "rfc2217://lab-rack-7:4001", ""},
        {"VIRTUAL:bench", PortKind::Virtual, "", "bench"},
        {"monitor:tcp://[::1]:23,tap", PortKind::Monitor, "tcp://[::1]:23", "tap"},
        {"monitor:/dev/by,comma,tap", PortKind::Monitor, "/dev/by,comma", "tap"},
        {"virtual:bad/name", PortKind::Unparsable, "", ""},
        {"monitor:x", PortKind::Unparsable, "", ""},
        {"tcp://host:0", PortKind::Unparsable, "", ""},
        {"ttyUSB0", PortKind::Unparsable, "", ""},
    };
    for (const Described& expected : cases) {
        const PortMapRow row = DescribePort(3, expected.entry, expected.entry);
        EXPECT_EQ(row.name, "COM3");
        EXPECT_EQ(row.kind, expected.kind) << expected.entry;
        EXPECT_EQ(row.device, expected.device) << expected.entry;
        EXPECT_EQ(row.linkName, expected.linkName) << expected.entry;
        EXPECT_EQ(row.linkPath, expected.linkName.empty() ? "" : "/run/user/1000/serialdebug/" + expected.linkName);
        EXPECT_EQ(row.problem.empty(), expected.kind != PortKind::Unparsable) << expected.entry;
    }
}

TEST(PortMapEntries, APortWithoutEntryOpensItsDefaultDevice)
{
    const PortMap map(ProfileDocument("[Ports]\r\nCOM2=\r\nCOM02=/dev/x\r\n"));
    ASSERT_EQ(map.Rows().size(), 50u);
    EXPECT_FALSE(map.Rows()[0].entry);
    EXPECT_EQ(map.Rows()[1].kind, PortKind::Default);
    EXPECT_EQ(map.Rows()[1].target, "/dev/ttyUSB1");
    EXPECT_EQ(map.Rows()[1].entry, "");
}

struct Refused {
    std::string target;
    std::string reason;  // UTF-8
};

// (Bad names of virtual ports are the window test's cases.)
TEST(PortMapEntries, ATargetNoPortCanOpenIsRefusedWithItsReasonAndChangesNothing)
{
    const std::vector<Refused> cases = {
        {"", "没有填写设备"},
        {"dev/ttyUSB0", "设备路径应以 / 开头"},
        {" /dev/ttyUSB0", "前后不能有空格"},
        {"/dev/x\r\nCOM2=/dev/y", "不能含换行等控制字符"},
        {"/" + std::string(4095, 'x'), "超过 4095 个字节"},
        {"monitor:,tap", "监视端口没有设备"},
        {"monitor:virtual:a,tap", "监视端口的设备不能是虚拟串口或监视端口"},
    };
    for (const Refused& refused : cases) {
        PortMap map(ProfileDocument("[Ports]\nCOM1=/dev/old\n"));
        std::string reason;
        EXPECT_FALSE(map.Set(1, refused.target, reason)) << refused.target;
        EXPECT_EQ(GbkToUtf8(reason), refused.reason) << refused.target;
        EXPECT_EQ(map.Rows()[0].entry, "/dev/old");
        EXPECT_FALSE(map.Changed());
    }
}

// What the user did not change stays byte for byte: other sections, comments, blank lines, the
// file's line endings, an entry no port can open and the spelling of untouched keys.
TEST(PortMapEntries, WritingChangesOnlyTheEntriesThatChanged)
{
    const std::string text =
        "; settings\n[Setting]\nPort=2\n\n[Ports]\n# mine\ncom1 = '/dev/ttyUSB5'\nCOM3=virtual:bad/name\n"
        "COM4=/dev/ttyUSB4\nCOM6=/dev/a\nCOM6=/dev/b\n\n[Other]\nCOM5=x\n";
    PortMap map{ProfileDocument(text)};
    std::string reason;
    ASSERT_TRUE(map.Set(1, "/dev/ttyUSB5", reason));
    ASSERT_TRUE(map.Set(2, "virtual:bench", reason));
    ASSERT_TRUE(map.Set(4, "monitor:/dev/ttyUSB0,tap", reason));
    map.Clear(6);
    ProfileDocument written(text);
    map.WriteTo(written);
    EXPECT_EQ(written.Text(),
              "; settings\n[Setting]\nPort=2\n\n[Ports]\n# mine\ncom1 = '/dev/ttyUSB5'\nCOM3=virtual:bad/name\n"
              "COM4=monitor:/dev/ttyUSB0,tap\nCOM2=virtual:bench\n\n[Other]\nCOM5=x\n");
}

TEST(PortMapEntries, TheFirstEntriesMakeTheSectionAfterTheRestOfTheFile)
{
    PortMap map{ProfileDocument("[Setting]\r\nPort=0\r\n")};
    std::string reason;
    ASSERT_TRUE(map.Set(7, "tcp://10.0.0.2:4001", reason));
    ASSERT_TRUE(map.Changed());
    ProfileDocument written("[Setting]\r\nPort=0\r\n");
    map.WriteTo(written);
    EXPECT_EQ(written.Text(), "[Setting]\r\nPort=0\r\n\r\n[Ports]\r\nCOM7=tcp://10.0.0.2:4001\r\n");
}

struct LinkFolder {
    std::optional<std::string> runtime;
    std::string expected;
};

TEST(PortMapEntries, LinksLieInTheRuntimeFolderOrTheUsersOwnUnderTmp)
{
    const std::string tmp = "/tmp/serialdebug-" + std::to_string(::getuid()) + "/tap";
    const std::vector<LinkFolder> cases = {
        {"/run/user/7", "/run/user/7/serialdebug/tap"},
        {"relative/run", tmp},
        {"", tmp},
        {std::nullopt, tmp},
    };
    for (const LinkFolder& folder : cases) {
        const ScopedEnvironment runtime("XDG_RUNTIME_DIR", folder.runtime);
        EXPECT_EQ(VirtualPortLink("tap"), folder.expected) << folder.runtime.value_or("(unset)");
    }
}

}  // namespace
