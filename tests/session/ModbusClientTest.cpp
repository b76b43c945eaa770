// A real Modbus RTU master (pymodbus, run by tests/session/modbus_client.py) asks a session that
// plays slave 17 with auto-reply rules; every request and reply on the line is described on the
// line after it, a refused read and a broken CRC included.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/CodePage.h"
#include "platform/DeviceWatcher.h"
#include "session/TerminalSession.h"
#include "tests/platform/TempDir.h"
#include "tests/support/ManualClock.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/PseudoTerminal.h"
#include "traffic/AutoReply.h"
#include "traffic/Codec.h"
#include "traffic/Crc16.h"

extern char** environ;

namespace {

// Debian's python3-pymodbus is installed for the system's own interpreter.
constexpr const char* kPython = "/usr/bin/python3";

// The master end of a pseudo-terminal cannot be opened by a path: opening it again, even as
// /proc/self/fd/N, makes a new pair. So the session and the client each open the slave of a pair
// of their own, as two programs on two serial adapters would, and this thread is the null-modem
// cable between the two master ends, passing on whatever either side writes as it comes.
class NullModem {
public:
    NullModem(const PseudoTerminal& a, const PseudoTerminal& b) : thread_([this, &a, &b] { Run(a, b); }) {}
    ~NullModem()
    {
        stop_ = true;
        thread_.join();
    }

private:
    void Run(const PseudoTerminal& a, const PseudoTerminal& b)
    {
        pollfd ends[] = {{a.Master(), POLLIN, 0}, {b.Master(), POLLIN, 0}};
        char buffer[4096];
        while (!stop_) {
            if (::poll(ends, 2, 10) <= 0) {
                continue;
            }
            for (int i = 0; i < 2; ++i) {
                const ssize_t count = (ends[i].revents & POLLIN) ? ::read(ends[i].fd, buffer, sizeof buffer) : 0;
                if (count > 0) {
                    (i == 0 ? b : a).Write(std::string(buffer, static_cast<std::size_t>(count)));
                }
            }
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The client on `device`, what it prints going to the file `output`; -1 when it cannot start.
pid_t StartClient(const std::string& device, const std::string& output)
{
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string python = kPython;
    std::string script = SERIALDEBUG_MODBUS_CLIENT;
    std::string path = device;
    char* argv[] = {python.data(), script.data(), path.data(), nullptr};
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, kPython, &actions, nullptr, argv, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// One request of the client and the reply of the rule that answers it.
struct Exchange {
    const char* request;  // hex, CRC appended by the test
    const char* reply;
    const char* requestNote;  // between "Modbus: " and "; CRC 正确"
    const char* replyNote;
    bool brokenReplyCrc = false;
};

// In the order the client asks.
const Exchange kExchanges[] = {
    {"110100130013", "110103CD6B05", "从站 17, 01 读线圈 请求, 起始地址 0x0013, 数量 19",
     "从站 17, 01 读线圈 应答, 字节数 3, 0x0013 起: 10110011 11010110 101"},
    {"110200C40016", "110203ACDB35", "从站 17, 02 读离散输入 请求, 起始地址 0x00C4, 数量 22",
     "从站 17, 02 读离散输入 应答, 字节数 3, 0x00C4 起: 00110101 11011011 101011"},
    {"1103006B0003", "1103060AE10000007F", "从站 17, 03 读保持寄存器 请求, 起始地址 0x006B, 数量 3",
     "从站 17, 03 读保持寄存器 应答, 字节数 6, 0x006B=0x0AE1 0x006C=0x0000 0x006D=0x007F"},
    {"110400080001", "1104020064", "从站 17, 04 读输入寄存器 请求, 起始地址 0x0008, 数量 1",
     "从站 17, 04 读输入寄存器 应答, 字节数 2, 0x0008=0x0064"},
    {"110500ACFF00", "110500ACFF00", "从站 17, 05 写单个线圈 请求, 地址 0x00AC, 值 ON",
     "从站 17, 05 写单个线圈 应答, 地址 0x00AC, 值 ON"},
    {"110600010003", "110600010003", "从站 17, 06 写单个寄存器 请求, 地址 0x0001, 值 0x0003",
     "从站 17, 06 写单个寄存器 应答, 地址 0x0001, 值 0x0003"},
    {"110F0013000A02CD01", "110F0013000A", "从站 17, 0F 写多个线圈 请求, 起始地址 0x0013, 数量 10, 字节数 2: 10110011 10",
     "从站 17, 0F 写多个线圈 应答, 起始地址 0x0013, 数量 10"},
    {"11100001000204000A0102", "111000010002",
     "从站 17, 10 写多个寄存器 请求, 起始地址 0x0001, 数量 2, 字节数 4, 0x0001=0x000A 0x0002=0x0102",
     "从站 17, 10 写多个寄存器 应答, 起始地址 0x0001, 数量 2"},
    {"111700030006000E00030600FF00FF00FF", "11170C00FE0ACD00010003000D00FF",
     "从站 17, 17 读写多个寄存器 请求, 读起始地址 0x0003, 读数量 6, 写起始地址 0x000E, 写数量 3, 字节数 6, "
     "0x000E=0x00FF 0x000F=0x00FF 0x0010=0x00FF",
     "从站 17, 17 读写多个寄存器 应答, 字节数 12, 0x0003=0x00FE 0x0004=0x0ACD 0x0005=0x0001 0x0006=0x0003 "
     "0x0007=0x000D 0x0008=0x00FF"},
    {"110301000001", "118302", "从站 17, 03 读保持寄存器 请求, 起始地址 0x0100, 数量 1",
     "从站 17, 83 异常 (读保持寄存器), 异常码 02 非法数据地址"},
    {"110400200002", "11040400010002", "从站 17, 04 读输入寄存器 请求, 起始地址 0x0020, 数量 2",
     "从站 17, 04 读输入寄存器 应答, 字节数 4, 0x0020=0x0001 0x0021=0x0002", true},
};

// The frame of `hex` with its CRC, the last byte of which is spoilt when `broken`.
std::vector<unsigned char> Frame(const std::string& hex, bool broken = false)
{
    std::vector<unsigned char> bytes(hex.size() / 2 + 1);
    bytes.resize(HexPairsToBytes(hex, bytes.data(), bytes.size()));
    const std::vector<unsigned char> crc = Crc16Bytes(bytes.data(), bytes.size());
    bytes.insert(bytes.end(), crc.begin(), crc.end());
    bytes.back() ^= broken ? 0xFF : 0x00;
    return bytes;
}

// The frame of `hex` (its CRC spoilt when `broken`) as the area shows it, its description on the
// next line.
std::string Described(const std::string& hex, const std::string& fields, bool broken)
{
    const std::vector<unsigned char> frame = Frame(hex, broken);
    std::string shown;
    AppendDisplayForms(shown, frame.data(), frame.size(), true);
    const std::vector<unsigned char> right = Frame(hex);
    const std::string check = broken ? "; CRC 错误 (应为" + BytesToHex(right.data() + right.size() - 2, 2) + ")" : "; CRC 正确";
    return shown + "\r\n" + Utf8ToGbk("Modbus: " + fields + check) + "\r\n";
}

}  // namespace

TEST(ModbusClient, EveryRequestAndReplyOfARealMasterIsDescribedOnTheLineAfterIt)
{
    if (std::system((std::string(kPython) + " -c 'import pymodbus.client, serial' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << kPython << " cannot import pymodbus and serial (python3-pymodbus, python3-serial)";
    }
    // The session's clock stands still: all reads bear one time, so however the bytes happened
    // to arrive, a request is never split; it ends when its reply is sent.
    ManualClock clock;
    ManualLoop loop;
    Scheme scheme;
    PseudoTerminal sessionSide;
    PseudoTerminal clientSide;
    TempDir folder;
    DeviceWatcher devices;
    for (const Exchange& exchange : kExchanges) {
        const std::vector<unsigned char> request = Frame(exchange.request);
        const std::vector<unsigned char> reply = Frame(exchange.reply, exchange.brokenReplyCrc);
        scheme.AddRule({exchange.request, BuildMatchText(request.data(), request.size(), true),
                        BuildMatchText(reply.data(), reply.size(), true), 1, 1});
    }
    WriteFile(folder.File("Config.ini"), "[Ports]\r\nCOM3=" + sessionSide.SlavePath() + "\r\n");
    TerminalSession session(loop, scheme, devices, folder.File("Config.ini"));
    session.UseClock(clock);
    session.OpenPort(3, "9600,n,8,1");
    ASSERT_TRUE(session.IsPortOpen());
    session.SetHexDisplay(true);
    DisplayOptions options;
    options.showSent = true;
    options.modbusDecode = true;
    session.SetDisplayOptions(options);
    session.SetAutoReply(true);

    NullModem cable(sessionSide, clientSide);
    const std::string printed = folder.File("client.txt");
    const pid_t client = StartClient(clientSide.SlavePath(), printed);
    ASSERT_GT(client, 0);
    std::atomic<bool> exited = false;
    int status = -1;
    std::thread reaper([&] {
        ::waitpid(client, &status, 0);
        exited = true;
        loop.Post([] {});  // wakes the loop to see it
    });
    const bool ended = loop.RunUntil([&] { return exited.load(); }, std::chrono::seconds(60));
    if (!ended) {
        ::kill(client, SIGKILL);
    }
    reaper.join();
    ASSERT_TRUE(ended) << ReadFile(printed);
    loop.Advance(std::chrono::milliseconds(10));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(printed);

    const std::string& text = session.Area().Text();
    std::size_t at = 0;
    for (const Exchange& exchange : kExchanges) {
        SCOPED_TRACE(exchange.requestNote);
        for (const std::string& expected :
             {Described(exchange.request, exchange.requestNote, false),
              Described(exchange.reply, exchange.replyNote, exchange.brokenReplyCrc)}) {
            at = text.find(expected, at);
            ASSERT_NE(at, std::string::npos) << GbkToUtf8(expected) << "\nnot in order in:\n" << GbkToUtf8(text);
        }
    }
}
