#include "platform/CodePage.h"

#include <windows.h>

#include "platform/win32/Win32Text.h"

namespace {

constexpr UINT kGbk = 936;
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Converts `gbk` in one call when every byte in it forms a character; false otherwise.
bool ConvertWhole(std::string_view gbk, std::wstring& wide)
{
    const int size = static_cast<int>(gbk.size());
    const int length = ::MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    wide.resize(static_cast<std::size_t>(length));
    ::MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), size, wide.data(), length);
    return true;
}

std::string Utf8Of(std::wstring_view wide)
{
    const int size = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

// The code page maps 0x80 (a lone byte GBK does not have) to a character: it counts as
// invalid here, as in GBK.
bool IsLoneHighByte(std::string_view character) { return character.size() == 1 && character[0] & 0x80; }

}  // namespace

std::string GbkToUtf8(std::string_view gbk)
{
    std::wstring wide;
    if (gbk.empty()) {
        return {};
    }
    if (gbk.find('\x80') == std::string_view::npos && ConvertWhole(gbk, wide)) {
        return Utf8Of(wide);
    }
    // Character by character, so each byte that forms none becomes one U+FFFD.
    std::string utf8;
    for (std::size_t offset = 0; offset < gbk.size();) {
        const std::size_t length = GbkCharLength(gbk, offset);
        const std::string_view character = gbk.substr(offset, length);
        if (!IsLoneHighByte(character) && ConvertWhole(character, wide)) {
            utf8 += Utf8Of(wide);
            offset += length;
        } else {
            utf8 += kReplacementUtf8;
            offset += 1;
        }
    }
    return utf8;
}

std::string Utf8ToGbk(std::string_view utf8)
{
    if (utf8.empty()) {
        return {};
    }
    const std::wstring wide = WideFromUtf8(utf8);
    // A character outside the BMP has no GBK form: one '?' for its two UTF-16 units.
    std::wstring single;
    single.reserve(wide.size());
    for (std::size_t index = 0; index < wide.size(); ++index) {
        const bool pair = IS_HIGH_SURROGATE(wide[index]) && index + 1 < wide.size() && IS_LOW_SURROGATE(wide[index + 1]);
        single += pair ? L'?' : wide[index];
        index += pair ? 1 : 0;
    }
    const int wideSize = static_cast<int>(single.size());
    const int gbkLength = ::WideCharToMultiByte(kGbk, 0, single.data(), wideSize, nullptr, 0, "?", nullptr);
    std::string gbk(static_cast<std::size_t>(gbkLength), '\0');
    ::WideCharToMultiByte(kGbk, 0, single.data(), wideSize, gbk.data(), gbkLength, "?", nullptr);
    return gbk;
}
