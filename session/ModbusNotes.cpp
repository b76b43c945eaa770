#include "session/ModbusNotes.h"

#include <algorithm>
#include <utility>

#include "platform/CodePage.h"

ModbusNotes::ModbusNotes(SessionLoop& loop, NoteHandler note)
    : note_(std::move(note)),
      splitter_(std::chrono::milliseconds(1)),
      gap_(1),
      silence_(loop.MakeTimer([this] { EndFrame(); }, true))
{
}

void ModbusNotes::SetGap(std::chrono::milliseconds gap)
{
    gap_ = gap;
    splitter_.SetGap(gap);
}

void ModbusNotes::Received(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    if (count == 0) {
        return;
    }
    if (splitter_.Receive(time.monotonic)) {
        EndFrame();
    }
    const std::size_t kept = std::min(count, ModbusDecoder::kMaxFrame + 1 - frame_.size());
    frame_.append(reinterpret_cast<const char*>(bytes), kept);
    silence_->Start(gap_);
}

void ModbusNotes::EndFrame()
{
    silence_->Stop();
    if (frame_.empty()) {
        return;
    }
    const std::string note = decoder_.Describe(reinterpret_cast<const unsigned char*>(frame_.data()), frame_.size());
    frame_.clear();
    note_(Utf8ToGbk(note));
}

std::string ModbusNotes::Sent(const unsigned char* bytes, std::size_t count)
{
    EndFrame();
    splitter_.Sent();
    return Utf8ToGbk(decoder_.Describe(bytes, count));
}
