// The device contract (tests/platform/DeviceContract.h) on Windows, under Wine: against COM1,
// mapped to a pseudo-terminal that far_side.py plays, and against network devices reaching a
// second pseudo-terminal through ser2net, with RFC 2217 and as raw TCP (scripts/windows/test.sh
// starts them and names them in the environment).
#include "tests/platform/DeviceContract.h"

#include <memory>

#include "platform/PortNames.h"
#include "tests/support/ScriptedServer.h"
#include "tests/windows/FarSide.h"

using namespace far_side;

namespace {

// A device whose far side far_side.py plays, at the TCP port named by `farSideVariable`.
class FarSideKind {
public:
    explicit FarSideKind(const char* farSideVariable) : farSidePort_(Environment(farSideVariable)) {}
    ~FarSideKind()
    {
        if (vanished_) {
            farSide_->Ask("RENEW");
        }
    }

    std::string ReadFar(std::size_t count) { return farSide_->Read(count); }
    bool WriteFar(const std::string& bytes) { return farSide_->Write(bytes); }
    void Vanish() { vanished_ = farSide_->Ask("HANGUP") == "OK"; }

protected:
    bool Connect(const std::string& target, std::string& why)
    {
        if (target.empty() || farSidePort_.empty()) {
            why = "the port and its far side are unnamed (scripts/windows/test.sh names them)";
            return false;
        }
        farSide_ = std::make_unique<FarSide>(std::stoi(farSidePort_));
        why = "far_side.py does not answer";
        return farSide_->Connected() && farSide_->Read(65536, std::chrono::milliseconds(50)).size() < 65536;
    }

private:
    std::string farSidePort_;
    std::unique_ptr<FarSide> farSide_;
    bool vanished_ = false;
};

class ComPortKind : public FarSideKind {
public:
    ComPortKind() : FarSideKind("SERIALDEBUG_FAR_SIDE_PORT") {}
    bool Prepare(std::string& why) { return Connect(port_, why); }
    std::string Target() const { return DefaultPortDevice(std::stoi(port_.substr(3))); }
    std::string MissingTarget() const { return DefaultPortDevice(199); }

private:
    std::string port_ = Environment("SERIALDEBUG_TEST_COM");
};

template <const char* urlVariable>
class Ser2netKind : public FarSideKind {
public:
    Ser2netKind() : FarSideKind("SERIALDEBUG_SER2NET_FAR_SIDE_PORT") {}
    bool Prepare(std::string& why) { return Connect(url_, why); }
    std::string Target() const { return url_; }
    std::string MissingTarget() const
    {
        std::uint16_t port = 0;
        {
            ScriptedServer gone([](ScriptedServer::Client&) {});
            port = gone.Port();
        }
        return url_.substr(0, url_.rfind(':') + 1) + std::to_string(port);
    }

private:
    std::string url_ = Environment(urlVariable);
};

constexpr char kRfc2217Url[] = "SERIALDEBUG_SER2NET_URL";
constexpr char kRawTcpUrl[] = "SERIALDEBUG_SER2NET_RAW_URL";
using Rfc2217Kind = Ser2netKind<kRfc2217Url>;
using RawTcpKind = Ser2netKind<kRawTcpUrl>;

class KindNames {
public:
    template <class Kind>
    static std::string GetName(int)
    {
        if constexpr (std::is_same_v<Kind, ComPortKind>) {
            return "ComPort";
        } else if constexpr (std::is_same_v<Kind, Rfc2217Kind>) {
            return "Rfc2217";
        } else {
            return "RawTcp";
        }
    }
};

using DeviceKinds = ::testing::Types<ComPortKind, Rfc2217Kind, RawTcpKind>;

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Windows, DeviceContract, DeviceKinds, KindNames);
