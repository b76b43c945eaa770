#pragma once

#include <string>
#include <string_view>

#include "traffic/TextDecoder.h"

// What "保存数据" writes of the receive area's text in `codec`: GBK text as it stands; UTF-8 as
// the view shows it, so valid UTF-8, with each sequence that is no character as U+FFFD and a
// character still unfinished at the end left out.
std::string TextToSave(std::string_view areaText, TextCodec codec);

// Writes `text` to `path` byte for byte (line breaks stay as they are) with ReplaceWholeFile
// (platform/WholeFile.h): a failure never leaves a partly written file, and an existing file
// keeps its content and permissions until the new one is complete. An existing file that may
// not be written is refused, as opening it would be. Returns "" on success, else the system's
// reason.
std::string SaveReceivedText(const std::string& path, const std::string& text);
