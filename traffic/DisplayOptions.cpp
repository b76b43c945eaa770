#include "traffic/DisplayOptions.h"

std::optional<CaptureFormat> ParseCaptureFormat(std::string_view name)
{
    if (name == "raw") {
        return CaptureFormat::Raw;
    }
    if (name == "log") {
        return CaptureFormat::Log;
    }
    return std::nullopt;
}

const char* CaptureFormatName(CaptureFormat format)
{
    return format == CaptureFormat::Log ? "log" : "raw";
}
