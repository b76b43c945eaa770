#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A private-profile (INI) file held in memory, as GBK bytes:
//
//   [Section]          a section header; blanks around the name do not count
//   Key=Value          a key of the section above; blanks around key and value do not count,
//                      and one pair of matching quotes around the value is removed
//   ;comment, #comment and lines without '=' are kept but are not keys
//
// Lines end with LF or CR LF. Section and key names match without regard to the case of
// ASCII letters; two-byte GBK characters match only byte for byte (ProfileNamesEqual).
//
// A settings pass reads the file once into a document, reads and sets its keys here, and
// writes it back once. Reads walk the text without copying it or building an index; the keys
// of one section are set together in one walk.

// A key and the value it is set to.
struct ProfileEntry {
    ProfileEntry(std::string key, std::string value) : key(std::move(key)), value(std::move(value)) {}
    // The value written as "%d".
    ProfileEntry(std::string key, int value) : key(std::move(key)), value(std::to_string(value)) {}

    std::string key;
    std::string value;
};

class ProfileDocument {
public:
    ProfileDocument() = default;
    explicit ProfileDocument(std::string text) : text_(std::move(text)) {}

    const std::string& Text() const { return text_; }

    // The value of the first `key` in the sections named `section`, in the text's order.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

    // The profile integer read: the value read with ParseDecimalPrefix; `defaultValue` when the
    // key is missing or its value is empty.
    int Int(std::string_view section, std::string_view key, int defaultValue) const;

    // The profile string read: the value, or `defaultValue` when the key is missing, as a
    // caller's buffer of bufferSize bytes would hold it (ProfileStringValue).
    std::string String(std::string_view section, std::string_view key, std::string_view defaultValue,
                       std::size_t bufferSize) const;

    // Calls `visit(key, value)` for every key line of the sections named `section`, in the
    // text's order, repeated keys included.
    void ForEachKey(std::string_view section,
                    const std::function<void(std::string_view key, std::string_view value)>& visit) const;

    // The profile write of one key: the first line of `key` in the sections named `section` is
    // replaced by "key=value" (its line ending kept); else that line goes after the last line
    // that is not blank in the first such section; else the section is appended, after a blank
    // line when the text's last line is not blank. Every other byte stays as it was; new lines
    // take the text's line ending (CR LF for a text without one), and a last line without its
    // ending gets one (a lone CR at the very end is completed, not doubled).
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // Sets the keys of one section with the result of setting them one after another in this
    // order, in one walk over the text.
    void Set(std::string_view section, const std::vector<ProfileEntry>& entries);

    // Removes every line of `key` in the sections named `section`, line ending and all; every
    // other byte stays as it was.
    void Remove(std::string_view section, std::string_view key);

private:
    std::string text_;
};

// A value as the profile string read returns it into a buffer of bufferSize bytes: cut at a
// zero byte and to bufferSize - 1 bytes.
std::string ProfileStringValue(std::string_view value, std::size_t bufferSize);
