#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DeviceWatcher.h"
#include "scheme/Scheme.h"
#include "serial/PortEngine.h"
#include "serial/ReconnectPolicy.h"
#include "session/FileSend.h"
#include "session/ModbusNotes.h"
#include "session/SendTarget.h"
#include "session/SessionCapture.h"
#include "session/SessionLoop.h"
#include "session/SessionObserver.h"
#include "session/Timeline.h"
#include "traffic/AutoReply.h"
#include "traffic/Clock.h"
#include "traffic/InstantReply.h"
#include "traffic/ReceiveArea.h"
#include "traffic/SendText.h"

// One terminal without its window: a port and everything done with its bytes. It opens, loses
// and opens again its port (with "自动重连"), shows received bytes in its receive area (text or
// hex, in frames with time stamps, cleared by the 5000/30000 rules), counts, answers with the
// scheme's auto-reply rules (on its own thread, or on the port's with "立即回复"), records to a
// capture file, and sends by hand, on its auto-send timer or for whoever holds it as a
// SendTarget. Everything runs on the thread of its SessionLoop; what it did reaches its
// observers. A window is a view of one session; several sessions share nothing but the scheme.
class TerminalSession : public SendTarget, private SchemeListener {
public:
    static constexpr int kHighestPortNumber = 1024;
    // Bytes a monitored port passed on that one trip through the loop takes at most.
    static constexpr std::size_t kPassedOnShare = 16 * 1024;

    // `portMapFile` is the Config.ini whose [Ports] section maps port names to devices;
    // `devices` tells whether a lost port's device is back.
    TerminalSession(SessionLoop& loop, Scheme& scheme, const DevicePresence& devices, std::string portMapFile);
    ~TerminalSession() override;
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    void AddObserver(SessionObserver* observer);
    void RemoveObserver(SessionObserver* observer);

    // The options of the window's boxes and menus.
    void SetHexDisplay(bool on) { hexDisplay_ = on; }
    void SetAutoClear(bool on) { autoClear_ = on; }
    void SetAutoReply(bool on);
    // "立即回复": auto-reply is decided on the port's thread, as the bytes are read.
    void SetInstantReply(bool on);
    // Firings and latencies of the rules are kept in the scheme's statistics.
    void SetReplyStatistics(bool on) { replyStatistics_ = on; }
    void SetAutoReconnect(bool on);
    bool AutoReconnect() const { return reconnect_.Enabled(); }
    void SetDisplayOptions(const DisplayOptions& options);
    // Escapes and the line ending of text sends by the user's routes ("发送设置").
    void SetTextSendOptions(const TextSendOptions& options) { textSendOptions_ = options; }
    const TextSendOptions& SendOptions() const { return textSendOptions_; }
    // The options as the user set them; the receive area's may differ in the frame gap.
    const DisplayOptions& Options() const { return options_; }
    // The settings text a lost port is opened again with (its baud rate sets the Modbus gap).
    void SetLineSettings(std::string settings);
    // Every frame received and sent goes to `timeline` too (none when null), split by this
    // session's frame gap and marked with its port.
    void FeedTimeline(Timeline* timeline);
    // Where read and send times come from (the system clock unless a test gives its own); it
    // is also called on the port's monitor thread, and must stay until the session goes.
    void UseClock(const Clock& clock);

    // Opens port `number` (1 for COM1) with the settings text, closing the port first and
    // ending any wait for a lost one. A network port connects in the background.
    void OpenPort(int number, const std::string& settings);
    // Closes the port (or ends its connecting); auto-send stops.
    void ClosePort();
    // The user took the port in hand: a lost port is no longer waited for.
    void StopReconnecting();
    bool IsPortOpen() const override { return portOpen_; }
    // A network port the user opened is connecting in the background.
    bool Connecting() const;
    // A lost port waits for its device to come back.
    bool WaitingForDevice() const { return reconnect_.Waiting(); }
    // Devices came or went: the open port checks its device, a lost one may open again.
    void DevicesChanged();
    PortEngine& Port() { return port_; }
    const PortEngine& Port() const { return port_; }

    const ReceiveArea& Area() const { return area_; }
    // A text of the system (GBK) added to the receive area.
    void ShowLine(std::string_view text);
    void ClearReceive();
    int ReceiveCounter() const { return receiveCounter_; }
    int SendCounter() const { return sendCounter_; }
    void ResetCounters();

    // The one way the user's data is sent: writes the bytes of `text` (hex text parsed when
    // isHex is not 0; text with the text-send options) when the port is open, and counts them;
    // the observers hear what was sent. A text with a bad escape is reported and not sent.
    bool SendString(std::string text, std::int32_t isHex) override;
    // "自动发送" was clicked and its box is now `checked`, with `interval` in the field. Returns
    // whether auto-send runs; a closed port or an interval of 0 is reported and refused. A
    // negative interval is taken as its size.
    bool SetAutoSend(bool checked, int interval);
    bool AutoSending() const { return autoSend_->IsActive(); }

    // "发送文件": the file's bytes go to the open port as the device takes them (see FileSend),
    // counted as sent. False, reported, when the port is closed or the file cannot be sent.
    bool SendFile(const std::string& path, const FileSendOptions& options);
    void CancelFileSend();
    // The file send under way; null when there is none.
    const FileSend* FileSending() const { return fileSend_ && fileSend_->Active() ? fileSend_.get() : nullptr; }

    // Capture: see SessionCapture.
    void StartCapture(const std::string& path, CaptureOpen mode) { capture_.Start(path, mode); }
    void CaptureWhenPortOpens(const std::string& path) { capture_.StartWhenPortOpens(path, portOpen_); }
    void StopCapture() { capture_.StopByUser(); }
    const SessionCapture& Capture() const { return capture_; }

    // The session stops working for its window, which goes: instant replies, auto-send and
    // capture end, and notifications of the port are dropped.
    void Shutdown();

    // A notification of the port, on the session's thread.
    void OnPortNotification(unsigned message);
    // Takes at most kAutoReplyReadSize received bytes from the port: shows, records and counts
    // them, answers them, and applies the clearing rules.
    void OnCommRxChar();
    // Adds one read of received bytes to those kept for auto-reply, and sends the reply of the
    // first rule whose pattern occurs in them; returns 1 when a rule fired.
    int RunAutoReply(const unsigned char* bytes, std::size_t count);

private:
    class Sink;

    void RulesChanged() override;
    void UpdateInstantReply();
    void ShowInstantReplies();
    void AppendReceivedPieces(const unsigned char* bytes);
    void OnPassedOn();
    void ShowSentFrame(std::string_view bytes, bool passedOn = false);
    void ApplyDisplayOptions();
    void AppendNote(const std::string& note);
    void ShowNote(const std::string& note);
    void CountSent(const std::string& text, std::int32_t isHex, std::size_t byteCount);
    void Send(const std::string& text, std::int32_t isHex, const std::string& bytes);
    void StopAutoSend();
    void FileSendEnded(FileSend::Outcome outcome);
    void RefreshPortState();
    void OnCommLost();
    void OnCommOpened();
    void ConsiderReopening();
    void ReopenLostPort(int number);
    void FinishReopening();
    void ScheduleNextLook();
    void Report(const SessionMessage& message);
    template <typename Event, typename... Args>
    void Tell(Event event, const Args&... args);

    Scheme& scheme_;
    std::string portMapFile_;
    std::vector<SessionObserver*> observers_;
    int telling_ = 0;  // Tell calls under way
    SystemClock systemClock_;
    const Clock* clock_ = &systemClock_;

    bool hexDisplay_ = false;
    bool autoClear_ = false;
    bool autoReply_ = false;
    bool instantReply_ = false;
    bool replyStatistics_ = false;
    std::chrono::steady_clock::time_point lastWriteAt_;  // when the last send was handed to the port
    bool shutDown_ = false;
    bool portOpen_ = false;
    bool monitoring_ = false;  // the open port is a monitored one
    std::string lineSettings_;
    TextSendOptions textSendOptions_;
    int receiveCounter_ = 0;
    int sendCounter_ = 0;

    DisplayOptions options_;
    ReceiveArea area_;
    std::unique_ptr<ModbusNotes> modbus_;  // while "Modbus RTU 解析" is on
    std::vector<ReceivedPiece> receivedPieces_;  // of the last read, kept to spare allocations
    AutoReplyMatcher matcher_;
    SessionCapture capture_;
    std::unique_ptr<SessionTimer> autoSend_;
    ReconnectPolicy reconnect_;
    std::unique_ptr<SessionTimer> retry_;

    std::optional<Timeline::Feed> timelineFeed_;
    SessionLoop& loop_;
    std::unique_ptr<FileSend> fileSend_;  // kept after it ends, until the next one
    std::string fileSendPath_;
    std::unique_ptr<Sink> sink_;
    InstantReply instant_;  // before the port, which uses it until it closes
    PortEngine port_;
};
