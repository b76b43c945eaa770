#include "app/DisplaySettings.h"

#include <algorithm>

DisplayOptions DisplayOptionsFrom(const WindowSettings& settings)
{
    const DisplayOptions defaults;
    DisplayOptions options;
    options.timeStamps = settings.timeStamp != 0;
    options.frameGapMs = DisplayOptions::IsValidFrameGap(settings.frameGap) ? settings.frameGap : defaults.frameGapMs;
    options.showSent = settings.showSent != 0;
    options.codec = ParseTextCodec(settings.textCodec).value_or(defaults.codec);
    options.captureFormat = ParseCaptureFormat(settings.captureFormat).value_or(defaults.captureFormat);
    options.modbusDecode = settings.modbusDecode != 0;
    return options;
}

void StoreDisplayOptions(const DisplayOptions& options, WindowSettings& settings)
{
    settings.timeStamp = options.timeStamps ? 1 : 0;
    settings.frameGap = options.frameGapMs;
    settings.showSent = options.showSent ? 1 : 0;
    settings.textCodec = TextCodecName(options.codec);
    settings.captureFormat = CaptureFormatName(options.captureFormat);
    settings.modbusDecode = options.modbusDecode ? 1 : 0;
}

TextSendOptions TextSendOptionsFrom(const WindowSettings& settings)
{
    return {settings.sendEscapes != 0, ParseLineEnding(settings.lineEnding).value_or(LineEnding::None)};
}

FileSendOptions FileSendOptionsFrom(const WindowSettings& settings)
{
    return {std::max(0, settings.filePacketSize), std::max(0, settings.filePacketDelay)};
}

void StoreSendOptions(const TextSendOptions& text, const FileSendOptions& file, WindowSettings& settings)
{
    settings.sendEscapes = text.escapes ? 1 : 0;
    settings.lineEnding = LineEndingName(text.lineEnding);
    settings.filePacketSize = file.packetSize;
    settings.filePacketDelay = file.packetDelayMs;
}
