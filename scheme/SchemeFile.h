#pragma once

#include <string>

#include "scheme/SchemeModel.h"

// A scheme file (*.pol): the auto-reply rules, the scheme interval and the send list, as an
// XML document of GBK text with CR LF lines.

// Reads the file at `path`. When its first top-level element is "XML": the rule list is replaced
// by the file's rules, the interval is set when the file has one (200 for an empty text), and the
// file's send items are appended to `sendList`. Anything else changes nothing. Returns whether
// an "XML" element was found.
bool ImportSchemeFile(const std::string& path, RuleList& rules, int& interval, SendList& sendList);

// The scheme as the text of a scheme file.
std::string SchemeFileText(const RuleList& rules, int interval, const SendList& sendList);

// Writes the scheme to `path`, replacing the file atomically; false when it cannot be written
// (an existing file then stays as it was).
bool ExportSchemeFile(const std::string& path, const RuleList& rules, int interval, const SendList& sendList);
