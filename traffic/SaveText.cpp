#include "traffic/SaveText.h"

#include "platform/WholeFile.h"

std::string TextToSave(std::string_view areaText, TextCodec codec)
{
    if (codec == TextCodec::Gbk) {
        return std::string(areaText);
    }
    std::string shown;
    AppendValidUtf8(shown, areaText);
    return shown;
}

std::string SaveReceivedText(const std::string& path, const std::string& text)
{
    const std::error_code error = ReplaceWholeFile(path, text);
    return error ? error.message() : std::string();
}
