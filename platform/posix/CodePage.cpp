#include "platform/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (handle_ != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts the whole input; an invalid, incomplete or unconvertible character is
    // skipped (`skipLength` tells how many bytes it has) and `replacement` put in its place.
    std::string Convert(std::string_view input, std::string_view replacement,
                        std::size_t (*skipLength)(unsigned char))
    {
        std::string output;
        if (handle_ == reinterpret_cast<iconv_t>(-1)) {
            return std::string(input);
        }
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        output.reserve(input.size() * 2);
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char buffer[4096];
        while (inLeft > 0) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(handle_, &in, &inLeft, &out, &outLeft);
            output.append(buffer, static_cast<std::size_t>(out - buffer));
            if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
                output.append(replacement);
                const std::size_t skip = std::min(skipLength(static_cast<unsigned char>(*in)), inLeft);
                in += skip;
                inLeft -= skip;
            }
        }
        return output;
    }

private:
    iconv_t handle_;
};

std::size_t OneByte(unsigned char) { return 1; }

std::size_t Utf8SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    return lead >= 0xC0 ? 2 : 1;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk)
{
    thread_local Converter converter("UTF-8", "GBK");
    return converter.Convert(gbk, "\xEF\xBF\xBD", OneByte);
}

std::string Utf8ToGbk(std::string_view utf8)
{
    thread_local Converter converter("GBK", "UTF-8");
    return converter.Convert(utf8, "?", Utf8SequenceLength);
}
