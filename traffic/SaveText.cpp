#include "traffic/SaveText.h"

#include "platform/WholeFile.h"

std::string SaveReceivedText(const std::string& path, const std::string& text)
{
    const std::error_code error = ReplaceWholeFile(path, text);
    return error ? error.message() : std::string();
}
