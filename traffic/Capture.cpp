#include "traffic/Capture.h"

#include <cstring>
#include <utility>

#include "traffic/FrameText.h"

namespace {

// A log capture queues records, each the bytes of one read or send with their time and the
// frame gap in force, and the writer's thread turns them into the lines of the log: the
// receive path only copies the bytes, and the queue holds them once rather than as text.
enum class RecordKind : unsigned char { Received, Sent, PassedOn, Note, End };

struct RecordHeader {
    RecordKind kind;
    std::int32_t gapMs;
    std::chrono::steady_clock::rep monotonic;
    std::chrono::system_clock::rep wall;
    std::uint64_t count;
};

std::string_view HeaderBytes(const RecordHeader& header)
{
    return {reinterpret_cast<const char*>(&header), sizeof header};
}

void WriteRecord(CaptureWriter& writer, RecordKind kind, int gapMs, std::string_view bytes, const ReadTime& time)
{
    RecordHeader header{};
    header.kind = kind;
    header.gapMs = gapMs;
    header.monotonic = time.monotonic.time_since_epoch().count();
    header.wall = time.wall.time_since_epoch().count();
    header.count = bytes.size();
    writer.Write(HeaderBytes(header), bytes);
}

class LogEncoder {
public:
    LogEncoder(std::chrono::milliseconds gap, TextCodec codec) : log_(gap, true, codec), codec_(codec) {}

    std::size_t operator()(std::string_view records, std::string& out, std::size_t enough)
    {
        std::size_t taken = 0;
        while (taken < records.size() && (taken == 0 || out.size() < enough)) {
            RecordHeader header;
            std::memcpy(&header, records.data() + taken, sizeof header);
            const auto* bytes = reinterpret_cast<const unsigned char*>(records.data() + taken + sizeof header);
            const std::size_t count = static_cast<std::size_t>(header.count);
            const ReadTime time{std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(header.monotonic)),
                                std::chrono::system_clock::time_point(std::chrono::system_clock::duration(header.wall))};
            log_.SetGap(std::chrono::milliseconds(header.gapMs));
            switch (header.kind) {
            case RecordKind::Received:
                log_.AppendReceived(out, bytes, count, true, time);
                break;
            case RecordKind::Sent:
                log_.AppendSent(out, bytes, count, true, time);
                break;
            case RecordKind::PassedOn:
                log_.AppendPassedOn(out, bytes, count, true, time);
                break;
            case RecordKind::Note:
                log_.AppendNote(out, SystemTextIn(std::string_view(reinterpret_cast<const char*>(bytes), count), codec_));
                break;
            case RecordKind::End:
                log_.EndLine(out);
                break;
            }
            taken += sizeof header + count;
        }
        return taken;
    }

private:
    FrameText log_;
    TextCodec codec_;
};

}  // namespace

std::string Capture::Start(const std::string& path, CaptureOpen mode, const DisplayOptions& options)
{
    Stop();
    CaptureWriter::Encoder encoder;
    if (options.captureFormat == CaptureFormat::Log) {
        encoder = LogEncoder(std::chrono::milliseconds(options.frameGapMs), options.codec);
    }
    const std::string failure = writer_.Open(path, mode, std::move(encoder));
    if (!failure.empty()) {
        return failure;
    }
    path_ = path;
    format_ = options.captureFormat;
    SetOptions(options);
    return "";
}

void Capture::SetOptions(const DisplayOptions& options)
{
    includeSent_ = options.showSent;
    gapMs_ = options.frameGapMs;
}

void Capture::Received(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    if (!writer_.IsOpen() || count == 0) {
        return;
    }
    const std::string_view data(reinterpret_cast<const char*>(bytes), count);
    if (format_ == CaptureFormat::Raw) {
        writer_.Write(data);
        return;
    }
    WriteRecord(writer_, RecordKind::Received, gapMs_, data, time);
}

void Capture::Sent(const unsigned char* bytes, std::size_t count, const ReadTime& time, bool passedOn)
{
    if (!writer_.IsOpen() || !includeSent_ || format_ != CaptureFormat::Log) {
        return;
    }
    WriteRecord(writer_, passedOn ? RecordKind::PassedOn : RecordKind::Sent, gapMs_,
                std::string_view(reinterpret_cast<const char*>(bytes), count), time);
}

void Capture::Note(std::string_view note)
{
    if (!writer_.IsOpen() || format_ != CaptureFormat::Log || note.empty()) {
        return;
    }
    WriteRecord(writer_, RecordKind::Note, gapMs_, note, ReadTime{});
}

std::optional<CaptureFailure> Capture::Stop()
{
    if (!writer_.IsOpen()) {
        return std::nullopt;
    }
    if (format_ == CaptureFormat::Log) {
        WriteRecord(writer_, RecordKind::End, gapMs_, {}, ReadTime{});
    }
    return writer_.Close();
}
