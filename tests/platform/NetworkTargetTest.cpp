#include <gtest/gtest.h>

#include "platform/NetworkTarget.h"
#include "platform/PortNames.h"
#include "tests/platform/TempDir.h"

namespace {

NetworkTarget Parsed(const std::string& text)
{
    NetworkTarget target;
    std::string reason;
    EXPECT_TRUE(ParseNetworkTarget(text, target, reason)) << text << ": " << reason;
    return target;
}

std::string Refusal(const std::string& text)
{
    NetworkTarget target{NetworkProtocol::Rfc2217, "untouched", 7};
    std::string reason;
    EXPECT_FALSE(ParseNetworkTarget(text, target, reason)) << text;
    EXPECT_EQ(target, (NetworkTarget{NetworkProtocol::Rfc2217, "untouched", 7})) << text;
    EXPECT_FALSE(reason.empty()) << text;
    return reason;
}

}  // namespace

TEST(NetworkTarget, DevicePathsAreNotNetworkTargets)
{
    for (const char* path : {"/dev/ttyUSB0", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", "/dev/pts/7",
                             "ttyS0", "", "://host:1", "/tmp/x://y", "1tcp://host:1"}) {
        EXPECT_FALSE(IsNetworkTarget(path)) << path;
    }
    for (const char* url : {"rfc2217://host:2000", "tcp://host:2000", "TCP://h:1", "ftp://host:21", "tcp://"}) {
        EXPECT_TRUE(IsNetworkTarget(url)) << url;
    }
}

TEST(NetworkTarget, ParsesBothSchemesAndEveryKindOfHost)
{
    EXPECT_EQ(Parsed("rfc2217://192.168.1.20:4001"), (NetworkTarget{NetworkProtocol::Rfc2217, "192.168.1.20", 4001}));
    EXPECT_EQ(Parsed("tcp://127.0.0.1:1"), (NetworkTarget{NetworkProtocol::RawTcp, "127.0.0.1", 1}));
    EXPECT_EQ(Parsed("RFC2217://Lab-Rack.example.org:65535"),
              (NetworkTarget{NetworkProtocol::Rfc2217, "Lab-Rack.example.org", 65535}));
    EXPECT_EQ(Parsed("tcp://[::1]:2000"), (NetworkTarget{NetworkProtocol::RawTcp, "::1", 2000}));
    EXPECT_EQ(Parsed("tcp://[2001:db8::7:1]:22"), (NetworkTarget{NetworkProtocol::RawTcp, "2001:db8::7:1", 22}));
    EXPECT_EQ(Parsed("tcp://[fe80::1%eth0]:22").host, "fe80::1%eth0");
    EXPECT_EQ(Parsed("tcp://[::ffff:192.0.2.1]:22").host, "::ffff:192.0.2.1");
    EXPECT_EQ(Parsed("tcp://[1:2:3:4:5:6:7:8]:22").host, "1:2:3:4:5:6:7:8");
    EXPECT_EQ(Parsed("tcp://localhost:00080").port, 80);
    EXPECT_EQ(Parsed("tcp://serial_server.:9").host, "serial_server.");
}

TEST(NetworkTarget, RefusesMissingOrOutOfRangePorts)
{
    EXPECT_NE(Refusal("rfc2217://host").find("no port"), std::string::npos);
    EXPECT_NE(Refusal("rfc2217://host:").find("no port"), std::string::npos);
    EXPECT_NE(Refusal("tcp://[::1]").find("no port"), std::string::npos);
    EXPECT_NE(Refusal("tcp://host:0").find("1 to 65535"), std::string::npos);
    EXPECT_NE(Refusal("tcp://host:70000").find("1 to 65535"), std::string::npos);
    EXPECT_NE(Refusal("tcp://host:65536").find("1 to 65535"), std::string::npos);
    EXPECT_NE(Refusal("tcp://host:99999999999999999999999").find("1 to 65535"), std::string::npos);
    EXPECT_NE(Refusal("tcp://host:-1").find("not a number"), std::string::npos);
    EXPECT_NE(Refusal("tcp://host:+80").find("not a number"), std::string::npos);
    EXPECT_NE(Refusal("tcp://host:80/").find("not a number"), std::string::npos);
    EXPECT_NE(Refusal("tcp://host:80 ").find("not a number"), std::string::npos);
}

TEST(NetworkTarget, RefusesJunkHostsAndSchemes)
{
    EXPECT_NE(Refusal("telnet://host:23").find("unknown scheme"), std::string::npos);
    EXPECT_NE(Refusal("tcp://:2000").find("no host"), std::string::npos);
    EXPECT_NE(Refusal("tcp://[]:2000").find("no host"), std::string::npos);
    EXPECT_NE(Refusal("tcp://::1:2000").find("brackets"), std::string::npos);
    EXPECT_NE(Refusal("tcp://[::1:2000").find("]"), std::string::npos);
    EXPECT_NE(Refusal("tcp://[::1]x:2000").find("after the address"), std::string::npos);
    EXPECT_NE(Refusal("tcp://[1::2::3]:2000").find("IPv6"), std::string::npos);
    EXPECT_NE(Refusal("tcp://[12345::1]:2000").find("IPv6"), std::string::npos);
    EXPECT_NE(Refusal("tcp://[1:2:3:4:5:6:7:8:9]:2000").find("IPv6"), std::string::npos);
    EXPECT_NE(Refusal("tcp://[fe80::1%]:2000").find("IPv6"), std::string::npos);
    EXPECT_NE(Refusal("tcp://300.1.1.1:2000").find("IPv4"), std::string::npos);
    EXPECT_NE(Refusal("tcp://1.2.3:2000").find("IPv4"), std::string::npos);
    EXPECT_NE(Refusal("tcp://1.2.3.4.5:2000").find("IPv4"), std::string::npos);
    for (const char* junk : {"tcp://user@host:2000", "tcp://ho st:2000", "tcp://-host:2000", "tcp://host-:2000",
                             "tcp://a..b:2000", "tcp://h\x01:2000", "tcp://h\xe4:2000", "tcp://h/x:2000"}) {
        EXPECT_NE(Refusal(junk).find("not a host name"), std::string::npos) << junk;
    }
    Refusal("/dev/ttyUSB0");
    Refusal("tcp:/host:2000");
}

TEST(NetworkTarget, PortMapHandsNetworkAddressesThroughUnchanged)
{
    TempDir dir;
    const std::string config = dir.File("Config.ini");
    WriteFile(config, "[Ports]\r\nCOM3=rfc2217://[::1]:4001\r\nCOM4=tcp://lab-pc:2000\r\n");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM3", config), "rfc2217://[::1]:4001");
    EXPECT_EQ(ResolvePortDevice("\\\\.\\COM4", config), "tcp://lab-pc:2000");
    EXPECT_TRUE(IsNetworkTarget(ResolvePortDevice("\\\\.\\COM3", config)));
    EXPECT_FALSE(IsNetworkTarget(ResolvePortDevice("\\\\.\\COM5", config)));
}
