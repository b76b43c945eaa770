#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// A TCP server on 127.0.0.1 that runs a script against every client it accepts, one after the
// other: the tests' stand-in for servers that misbehave in ways a real one will not. Its
// waits end when the server is destroyed, so a script never outlives its test.
class ScriptedServer {
public:
    class Client {
    public:
        // Sockets of either system, as numbers.
        Client(std::intptr_t socket, std::intptr_t stopSocket);

        // Sends all of `bytes`; false once the client has gone or the server stops.
        bool Send(const std::string& bytes);
        // Sends in pieces of `pieceSize` bytes with a pause between them, so that the client
        // reads them apart.
        bool SendInPieces(const std::string& bytes, std::size_t pieceSize, std::chrono::milliseconds pause);
        // Reads until `wanted` has arrived (everything read is kept in Received); false on
        // time-out, when the client has gone or the server stops.
        bool ReceiveUntil(const std::string& wanted, std::chrono::milliseconds timeout);
        // Reads what arrives within `duration`.
        void ReceiveFor(std::chrono::milliseconds duration);
        // Reads once what is there, waiting up to `timeout` for it; false once the client has
        // gone or the server stops.
        bool ReceiveSome(std::chrono::milliseconds timeout);
        const std::string& Received() const;
        // Waits until the client closes; false on time-out or stop.
        bool WaitUntilGone(std::chrono::milliseconds timeout);
        bool Stopping() const;

    private:
        std::intptr_t socket_;
        std::intptr_t stopSocket_;
        bool gone_ = false;        // the client closed its side: nothing more to read
        bool sendFailed_ = false;  // a send failed; what the client sent before is still read
        std::string received_;
    };

    using Script = std::function<void(Client&)>;

    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const;
    // "scheme://127.0.0.1:PORT".
    std::string Url(const std::string& scheme) const;
    std::size_t Clients() const;

private:
    void Serve();

    Script script_;
    std::intptr_t listenSocket_ = -1;
    std::intptr_t stopReader_ = -1;  // readable once the server stops
    std::intptr_t stopWriter_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<std::size_t> clients_{0};
    std::thread thread_;
};

// The Telnet side of a COM-PORT server, for scripts.
namespace fake_server {

// What a server sends on accepting: it offers and asks for BINARY, SUPPRESS-GO-AHEAD and the
// COM-PORT option.
std::string Greeting();
// A script that sends `opening`, then `unit` over and over until the client goes.
ScriptedServer::Script Endless(const std::string& opening, const std::string& unit);
// A COM-PORT answer or notification: IAC SB 44 (command + 100) value IAC SE, 0xFF doubled.
std::string ServerCommand(unsigned char command, const std::string& value);

// A COM-PORT request of the client found in its bytes.
struct Request {
    unsigned char command;
    std::string value;
    bool operator==(const Request&) const = default;
};
// The COM-PORT requests in a client's bytes, in order.
std::vector<Request> RequestsIn(const std::string& clientBytes);
// The client's data in its bytes, with the Telnet commands taken out and IAC IAC made 0xFF.
std::string DataIn(const std::string& clientBytes);

// Greets, then answers each request as a compliant server would: with the value asked for,
// or for a query (value 0) with `current`'s value, until the client goes or the server stops.
// `answer` may change the answer's value; returning false leaves a request unanswered.
// `afterAnswers` runs after each round of answers, e.g. to send data once the client is set up.
using AnswerRule = std::function<bool(const Request& request, std::string& answer)>;
void ServeComPort(ScriptedServer::Client& client, const AnswerRule& answer = {},
                  const std::function<void()>& afterAnswers = {});

}  // namespace fake_server
