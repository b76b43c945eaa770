#include "traffic/PlotSamples.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace {

bool IsSeparator(char c)
{
    return c == ',' || c == ';' || c == '\t' || c == ' ';
}

// The run of non-separators after `pos` and any separators before it; empty at the line's end.
std::string_view NextToken(std::string_view line, std::size_t& pos)
{
    while (pos < line.size() && IsSeparator(line[pos])) {
        ++pos;
    }
    const std::size_t start = pos;
    while (pos < line.size() && !IsSeparator(line[pos])) {
        ++pos;
    }
    return line.substr(start, pos - start);
}

struct Field {
    std::string_view key;
    std::string_view value;
};

// Splits "key=value" or "key:value"; a key with nothing after its mark takes the next token as
// its value, as in "temp: 21".
Field ToField(std::string_view token, std::string_view line, std::size_t& pos)
{
    const std::size_t mark = token.find_first_of("=:");
    if (mark == std::string_view::npos) {
        return {{}, token};
    }
    Field field{token.substr(0, mark), token.substr(mark + 1)};
    if (field.value.empty() && !field.key.empty()) {
        field.value = NextToken(line, pos);
    }
    return field;
}

// from_chars ignores the locale, but it refuses a leading '+' that devices do send.
std::optional<double> ParseFiniteNumber(std::string_view text)
{
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') {
        text.remove_prefix(1);
    }
    double value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

struct ParsedLine {
    bool good = true;
    PlotSample sample;
    std::array<std::string_view, kMaxCurves> keys;
};

// Every field is checked, those past kMaxCurves too, so that a line is good or bad as a whole.
ParsedLine ParseLine(std::string_view line)
{
    ParsedLine parsed;
    std::size_t pos = 0;
    for (std::string_view token = NextToken(line, pos); !token.empty(); token = NextToken(line, pos)) {
        const Field field = ToField(token, line, pos);
        const std::optional<double> value = ParseFiniteNumber(field.value);
        if (!value) {
            parsed.good = false;
            return parsed;
        }
        PlotSample& sample = parsed.sample;
        if (sample.count < kMaxCurves) {
            parsed.keys[sample.count] = field.key;
            sample.values[sample.count++] = *value;
        }
    }
    return parsed;
}

// Fixed notation of a double needs at most 309 digits before the point.
constexpr std::size_t kNumberChars = 400;

void AppendMilliseconds(std::string& text, double seconds)
{
    char digits[kNumberChars];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, seconds, std::chars_format::fixed, 3);
    if (error == std::errc()) {
        text.append(digits, end);
    }
}

void AppendShortest(std::string& text, double value)
{
    char digits[kNumberChars];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    if (error == std::errc()) {
        text.append(digits, end);
    }
}

std::string CsvCell(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

}  // namespace

void NumberLineParser::Feed(const unsigned char* bytes, std::size_t count, double seconds, std::vector<PlotSample>& out)
{
    const char* next = reinterpret_cast<const char*>(bytes);
    const char* const end = next + count;
    while (next != end) {
        const char* newline = static_cast<const char*>(std::memchr(next, '\n', static_cast<std::size_t>(end - next)));
        Keep(next, static_cast<std::size_t>((newline ? newline : end) - next));
        if (!newline) {
            return;
        }
        EndLine(seconds, out);
        next = newline + 1;
    }
}

void NumberLineParser::Reset()
{
    line_.clear();
    overlong_ = false;
    names_.clear();
    keyed_ = {};
    badLines_ = 0;
}

// One byte more than kMaxLine is kept, so that a line of kMaxLine bytes can still end in "\r".
void NumberLineParser::Keep(const char* text, std::size_t size)
{
    const std::size_t room = kMaxLine + 1 - line_.size();
    if (size > room) {
        overlong_ = true;
        size = room;
    }
    line_.append(text, size);
}

void NumberLineParser::EndLine(double seconds, std::vector<PlotSample>& out)
{
    if (!line_.empty() && line_.back() == '\r') {
        line_.pop_back();
    }
    if (overlong_ || line_.size() > kMaxLine) {
        ++badLines_;
    } else if (ParsedLine parsed = ParseLine(line_); !parsed.good) {
        ++badLines_;
    } else if (parsed.sample.count > 0) {
        TakeNames(parsed.keys, parsed.sample.count);
        parsed.sample.seconds = seconds;
        out.push_back(parsed.sample);
    }
    line_.clear();
    overlong_ = false;
}

void NumberLineParser::TakeNames(const std::array<std::string_view, kMaxCurves>& keys, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (i == names_.size()) {
            names_.push_back(std::to_string(i + 1));
        }
        if (!keyed_[i] && !keys[i].empty()) {
            names_[i] = keys[i];
            keyed_[i] = true;
        }
    }
}

std::size_t BinaryTypeSize(BinaryField::Type type)
{
    switch (type) {
    case BinaryField::Type::Int8:
    case BinaryField::Type::Uint8:
        return 1;
    case BinaryField::Type::Int16:
    case BinaryField::Type::Uint16:
        return 2;
    case BinaryField::Type::Int32:
    case BinaryField::Type::Uint32:
    case BinaryField::Type::Float32:
        return 4;
    }
    return 0;
}

const char* BinaryTypeName(BinaryField::Type type)
{
    switch (type) {
    case BinaryField::Type::Int8:
        return "int8";
    case BinaryField::Type::Uint8:
        return "uint8";
    case BinaryField::Type::Int16:
        return "int16";
    case BinaryField::Type::Uint16:
        return "uint16";
    case BinaryField::Type::Int32:
        return "int32";
    case BinaryField::Type::Uint32:
        return "uint32";
    case BinaryField::Type::Float32:
        return "float32";
    }
    return "";
}

std::optional<double> ReadBinaryField(const unsigned char* frame, std::size_t count, const BinaryField& field)
{
    const std::size_t size = BinaryTypeSize(field.type);
    if (size == 0 || field.offset > count || size > count - field.offset) {
        return std::nullopt;
    }
    std::uint32_t raw = 0;
    for (std::size_t i = 0; i < size; ++i) {
        raw = raw << 8 | frame[field.offset + (field.bigEndian ? i : size - 1 - i)];
    }
    switch (field.type) {
    case BinaryField::Type::Int8:
        return static_cast<std::int8_t>(raw);
    case BinaryField::Type::Uint8:
        return static_cast<std::uint8_t>(raw);
    case BinaryField::Type::Int16:
        return static_cast<std::int16_t>(raw);
    case BinaryField::Type::Uint16:
        return static_cast<std::uint16_t>(raw);
    case BinaryField::Type::Int32:
        return static_cast<std::int32_t>(raw);
    case BinaryField::Type::Uint32:
        return raw;
    case BinaryField::Type::Float32: {
        const float value = std::bit_cast<float>(raw);
        return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    }
    }
    return std::nullopt;
}

PlotStore::PlotStore(std::size_t maxPoints) : maxPoints_(maxPoints) {}

void PlotStore::Add(const PlotSample& sample)
{
    PlotSample kept = sample;
    kept.count = static_cast<std::uint8_t>(std::min({std::size_t{sample.count}, kMaxCurves, maxPoints_}));
    if (kept.count == 0) {
        return;
    }
    if (std::isnan(kept.seconds) || (!samples_.empty() && kept.seconds < LatestSeconds())) {
        kept.seconds = LatestSeconds();
    }
    while (points_ + kept.count > maxPoints_) {
        points_ -= samples_.front().count;
        samples_.pop_front();
    }
    samples_.push_back(kept);
    points_ += kept.count;
}

void PlotStore::Clear()
{
    samples_.clear();
    points_ = 0;
}

double PlotStore::LatestSeconds() const
{
    return samples_.empty() ? 0.0 : samples_.back().seconds;
}

std::pair<std::size_t, std::size_t> PlotStore::Range(double from, double to) const
{
    const auto first = std::partition_point(samples_.begin(), samples_.end(),
                                            [from](const PlotSample& sample) { return sample.seconds < from; });
    const auto last = std::partition_point(first, samples_.end(),
                                           [to](const PlotSample& sample) { return sample.seconds <= to; });
    return {static_cast<std::size_t>(first - samples_.begin()), static_cast<std::size_t>(last - samples_.begin())};
}

std::optional<std::pair<double, double>> PlotStore::ValueRange(double from, double to) const
{
    const auto [first, last] = Range(from, to);
    std::optional<std::pair<double, double>> range;
    for (std::size_t index = first; index < last; ++index) {
        const PlotSample& sample = samples_[index];
        for (std::size_t i = 0; i < sample.count; ++i) {
            const double value = sample.values[i];
            if (!std::isfinite(value)) {
                continue;
            }
            range = range ? std::pair{std::min(range->first, value), std::max(range->second, value)}
                          : std::pair{value, value};
        }
    }
    return range;
}

std::string PlotStore::Csv(const std::vector<std::string>& names) const
{
    std::size_t columns = names.size();
    for (const PlotSample& sample : samples_) {
        columns = std::max<std::size_t>(columns, sample.count);
    }
    std::string text = "time";
    for (std::size_t i = 0; i < columns; ++i) {
        text += ',';
        text += i < names.size() ? CsvCell(names[i]) : std::to_string(i + 1);
    }
    text += "\r\n";
    for (const PlotSample& sample : samples_) {
        AppendMilliseconds(text, sample.seconds);
        for (std::size_t i = 0; i < columns; ++i) {
            text += ',';
            if (i < sample.count) {
                AppendShortest(text, sample.values[i]);
            }
        }
        text += "\r\n";
    }
    return text;
}
