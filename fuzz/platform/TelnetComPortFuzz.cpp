// Feeds arbitrary server bytes to the Telnet COM-PORT client: it must never fail, never give
// more data than it was given, keep its answers bounded, and read the same whether the bytes
// come at once or split where the first byte says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/TelnetComPort.h"

namespace {

struct Outcome {
    std::string data;
    std::string output;
    unsigned modemStatus;
    unsigned events;
    unsigned lineErrors;
};

Outcome Run(const std::uint8_t* bytes, std::size_t size, std::size_t cut)
{
    TelnetComPort telnet;
    telnet.Start();
    telnet.TakeOutput();
    Outcome outcome;
    telnet.Receive(bytes, cut, outcome.data);
    if (outcome.data.size() > cut) {
        std::abort();
    }
    telnet.Receive(bytes + cut, size - cut, outcome.data);
    if (outcome.data.size() > size) {
        std::abort();
    }
    outcome.output = telnet.TakeOutput();
    outcome.modemStatus = telnet.ModemStatus();
    outcome.events = telnet.TakeEvents();
    outcome.lineErrors = telnet.TakeLineErrors();
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t cut = data[0] % size;
    const Outcome whole = Run(data + 1, size - 1, 0);
    const Outcome split = Run(data + 1, size - 1, cut);
    if (whole.output.size() > TelnetComPort::kMaxAnswerBacklog || whole.data != split.data ||
        whole.output != split.output || whole.modemStatus != split.modemStatus || whole.events != split.events ||
        whole.lineErrors != split.lineErrors) {
        std::abort();
    }
    return 0;
}
