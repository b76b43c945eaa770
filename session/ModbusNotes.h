#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "session/SessionLoop.h"
#include "traffic/Clock.h"
#include "traffic/FrameSplitter.h"
#include "traffic/Modbus.h"

// "Modbus RTU 解析" of a session: received bytes are gathered into frames, split where the line
// fell silent for the gap and ended by the next frame, a sent frame or the gap passing with
// nothing more read; every frame, received or sent, is described by one ModbusDecoder, so that a
// reply is read in the light of the request before it. A description is a text of the system
// (GBK) that goes on the line after its frame.
class ModbusNotes {
public:
    using NoteHandler = std::function<void(const std::string& note)>;

    // `note` hears the description of each received frame once it has ended.
    ModbusNotes(SessionLoop& loop, NoteHandler note);

    void SetGap(std::chrono::milliseconds gap);
    // Bytes read at `time`; when they begin a new frame, the one before is described first.
    void Received(const unsigned char* bytes, std::size_t count, const ReadTime& time);
    // Ends the received frame and describes it.
    void EndFrame();
    // A sent frame ends the received one; returns the sent frame's description.
    std::string Sent(const unsigned char* bytes, std::size_t count);

private:
    NoteHandler note_;
    FrameSplitter splitter_;
    std::chrono::milliseconds gap_;
    ModbusDecoder decoder_;
    // The received frame so far; of a longer one, one byte more than a Modbus frame can hold.
    std::string frame_;
    std::unique_ptr<SessionTimer> silence_;
};
