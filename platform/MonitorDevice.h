#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Device.h"
#include "platform/ReadAheadBuffer.h"
#include "platform/VirtualDevice.h"

// A monitored port, "monitor:DEVICE,NAME": it opens DEVICE and the virtual port NAME and passes
// every byte the program at the virtual port writes on to DEVICE, and every byte DEVICE sends on
// to the program, in order, each way on a thread of its own. The owner reads a copy of what
// DEVICE sent (Read) and of what the program sent (ReadPassedOn); what the owner writes goes to
// DEVICE too. Every queue is bounded, and a side is not read while a queue its bytes go to is
// full, so a slow program, device or owner holds the flow back and nothing is lost.
//
// Line settings the program sets on the virtual port are applied to DEVICE when they change
// (looked at before its bytes pass on, and every kSettingsLookMs). The owner's settings, the
// modem lines, DTR, RTS and break are DEVICE's. A purge discards only the owner's copies and
// the owner's own output: the traffic between program and device is never touched.
class MonitorDevice : public Device {
public:
    static constexpr std::size_t kQueueSize = 64 * 1024;
    static constexpr int kSettingsLookMs = 100;

    // `device` is the monitored device, made for DEVICE's target; null when the target names
    // none (Open then fails).
    explicit MonitorDevice(std::unique_ptr<Device> device);
    ~MonitorDevice() override;
    MonitorDevice(const MonitorDevice&) = delete;
    MonitorDevice& operator=(const MonitorDevice&) = delete;

    // `target` is "monitor:DEVICE,NAME".
    bool Open(const std::string& target) override;
    OpenError LastOpenError() const override { return openError_; }
    void CancelOpen() override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    int Handle() const override;
    bool IsLost() const override { return lost_; }
    bool CheckPresence() override;

    bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) override;
    bool GetTimeouts(CommTimeouts& timeouts) const override;
    bool SetTimeouts(const CommTimeouts& timeouts) override;
    bool GetLineSettings(LineSettings& settings) const override;
    bool SetLineSettings(const LineSettings& settings) override;
    bool Purge(unsigned flags) override;

    bool SetEventMask(unsigned mask) override;
    unsigned EventMask() const override { return mask_; }
    WaitResult WaitEvent(const WaitRequest& request) override;
    void WakeWait() override;

    bool ClearErrors(unsigned& errors, std::size_t& inputQueueCount) override;
    bool GetModemStatus(unsigned& status) const override;
    bool InputQueueBytes(std::size_t& count) const override;
    bool SetControlLine(ControlLine line, bool on) override;
    bool SetBreak(bool on) override;
    bool GetLineCounters(LineCounters& counters) const override;

    long Read(void* buffer, std::size_t size) override;
    long Write(const void* bytes, std::size_t size) override;
    std::size_t ReadPassedOn(void* buffer, std::size_t size) override;

    const std::string& LinkPath() const { return program_.LinkPath(); }

private:
    // Bytes waiting to be written to one side, taken from its rings a piece at a time.
    struct Carry {
        std::vector<unsigned char> bytes;
        std::size_t written = 0;
        bool Empty() const { return written == bytes.size(); }
    };

    bool Fail(const OpenError& error);
    void StartPumps();
    void StopPumps();
    void PumpDeviceSide();
    void PumpProgramSide();
    bool MoveDeviceInput();
    bool MoveProgramInput();
    bool WriteToDevice();
    bool WriteToProgram();
    bool WriteCarry(Device& to, Carry& carry);
    void LookAtProgramSettings();
    void MarkLost();
    // Ends the owner's wait (when `events` are new, adds them to those it reports).
    void Signal(unsigned events = 0);
    // After a ring gave bytes: the side held back for want of room in it reads again.
    static void Release(std::atomic<bool>& held, Device& side);

    std::unique_ptr<Device> device_;
    VirtualDevice program_;
    OpenError openError_;
    std::atomic<bool> open_{false};
    std::atomic<bool> lost_{false};
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> mask_{0};
    LineSettings programLine_;  // the program pump's: the program's settings last applied

    ReadAheadBuffer toDevice_{kQueueSize};    // program pump -> device pump
    ReadAheadBuffer toProgram_{kQueueSize};   // device pump -> program pump
    ReadAheadBuffer fromOwner_{kQueueSize};   // owner's Write -> device pump
    ReadAheadBuffer received_{kQueueSize};    // device pump -> owner's Read
    ReadAheadBuffer passedOn_{kQueueSize};    // program pump -> owner's ReadPassedOn
    // A pump waits with its input unwatched while a ring it fills is full; the ring's reader
    // wakes it. A pump marks itself held before it looks at the rings' room, so that a reader
    // making room meanwhile sees the mark and wakes it.
    std::atomic<bool> deviceSideHeld_{false};
    std::atomic<bool> programSideHeld_{false};
    std::atomic<bool> passedOnReported_{false};
    Carry deviceCarry_;       // device pump only
    bool ownerTurn_ = false;  // device pump only: whose bytes it takes next
    Carry programCarry_;      // program pump only

    mutable std::mutex waitMutex_;
    std::condition_variable waitCondition_;
    unsigned pendingEvents_ = 0;  // guarded by waitMutex_
    bool wakeRequested_ = false;  // guarded by waitMutex_

    std::thread devicePump_;
    std::thread programPump_;
};
