#include "app/DisplaySettings.h"

DisplayOptions DisplayOptionsFrom(const WindowSettings& settings)
{
    const DisplayOptions defaults;
    DisplayOptions options;
    options.timeStamps = settings.timeStamp != 0;
    options.frameGapMs = DisplayOptions::IsValidFrameGap(settings.frameGap) ? settings.frameGap : defaults.frameGapMs;
    options.showSent = settings.showSent != 0;
    options.codec = ParseTextCodec(settings.textCodec).value_or(defaults.codec);
    options.captureFormat = ParseCaptureFormat(settings.captureFormat).value_or(defaults.captureFormat);
    return options;
}

void StoreDisplayOptions(const DisplayOptions& options, WindowSettings& settings)
{
    settings.timeStamp = options.timeStamps ? 1 : 0;
    settings.frameGap = options.frameGapMs;
    settings.showSent = options.showSent ? 1 : 0;
    settings.textCodec = TextCodecName(options.codec);
    settings.captureFormat = CaptureFormatName(options.captureFormat);
}
