#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr std::size_t kMaxCurves = 8;

// The values of up to kMaxCurves curves at one moment; `seconds` counts from an origin the
// caller chooses. Only the first `count` values are meaningful.
struct PlotSample {
    double seconds = 0;
    std::array<double, kMaxCurves> values{};
    std::uint8_t count = 0;
};

// Turns received text into plot samples, one per line. A line holds numbers separated by commas,
// semicolons, tabs or spaces, each bare ("23.5") or named ("T=23.5", "temp:21", "temp: 21").
// Numbers are read the same way whatever the process locale. A line with a field that is not a
// finite number, or longer than kMaxLine, is skipped and counted; empty lines are skipped
// silently. Curve i takes the name of the first key seen at field i, else its 1-based number.
class NumberLineParser {
public:
    static constexpr std::size_t kMaxLine = 4096;

    // Bytes may come in pieces of any size; each line completed here becomes a sample (appended
    // to `out`) whose time is `seconds`.
    void Feed(const unsigned char* bytes, std::size_t count, double seconds, std::vector<PlotSample>& out);
    void Reset();

    const std::vector<std::string>& Names() const { return names_; }
    std::uint64_t BadLines() const { return badLines_; }
    // Bytes held of the line not yet ended; never more than kMaxLine + 1.
    std::size_t PendingBytes() const { return line_.size(); }

private:
    void Keep(const char* text, std::size_t size);
    void EndLine(double seconds, std::vector<PlotSample>& out);
    void TakeNames(const std::array<std::string_view, kMaxCurves>& keys, std::size_t count);

    std::string line_;
    bool overlong_ = false;
    std::vector<std::string> names_;
    std::array<bool, kMaxCurves> keyed_{};  // names_[i] came from a key rather than a number
    std::uint64_t badLines_ = 0;
};

// Where a number sits in a binary frame and how it is encoded.
struct BinaryField {
    enum class Type { Int8, Uint8, Int16, Uint16, Int32, Uint32, Float32 };
    std::size_t offset = 0;
    Type type = Type::Int16;
    bool bigEndian = true;
};

std::size_t BinaryTypeSize(BinaryField::Type type);
const char* BinaryTypeName(BinaryField::Type type);
// The field's value, or nullopt when it does not lie wholly inside the frame or is a float that
// is not finite.
std::optional<double> ReadBinaryField(const unsigned char* frame, std::size_t count, const BinaryField& field);

// The samples a plot window holds, oldest first, in non-decreasing time. It keeps at most
// maxPoints values in all, dropping the oldest samples to make room; samples without values are
// not kept, so the number of samples stays within maxPoints too.
class PlotStore {
public:
    explicit PlotStore(std::size_t maxPoints = 1'000'000);

    // A sample older than the latest one is stored with the latest time, so times never go back.
    void Add(const PlotSample& sample);
    void Clear();

    std::size_t Points() const { return points_; }
    std::size_t Size() const { return samples_.size(); }
    const PlotSample& operator[](std::size_t index) const { return samples_[index]; }
    double LatestSeconds() const;

    // The indexes [first, last) of the samples with from <= seconds <= to.
    std::pair<std::size_t, std::size_t> Range(double from, double to) const;
    // The smallest and largest value of the samples in that time range; nullopt when it has none.
    std::optional<std::pair<double, double>> ValueRange(double from, double to) const;
    // A header "time,<names>" and a line per sample: time in seconds to the millisecond, then
    // each value in the shortest form that reads back exactly; lines end with CRLF.
    std::string Csv(const std::vector<std::string>& names) const;

private:
    std::deque<PlotSample> samples_;
    std::size_t maxPoints_;
    std::size_t points_ = 0;
};
