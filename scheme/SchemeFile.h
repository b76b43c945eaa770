#pragma once

#include <string>

#include "scheme/SchemeModel.h"

// A scheme file (*.pol): the auto-reply rules, the scheme interval and the send list, as an
// XML document of GBK text with CR LF lines.

// What an import found.
struct SchemeImport {
    bool rootFound = false;   // an "XML" element was found, and the lists were read from it
    bool incomplete = false;  // the file exists but was not read completely: it cannot be read,
                              // is not well formed (cut short, say) or is not one "XML" element
};

// Reads the file at `path`. When its first top-level element is "XML": the rule list is replaced
// by the file's rules, the interval is set when the file has one (200 for an empty text), and the
// file's send items are appended to `sendList`. Anything else changes nothing.
SchemeImport ImportSchemeFile(const std::string& path, RuleList& rules, int& interval, SendList& sendList);

// The scheme as the text of a scheme file.
std::string SchemeFileText(const RuleList& rules, int interval, const SendList& sendList);

// Writes the scheme to `path`, replacing the file atomically; false when it cannot be written
// (an existing file then stays as it was).
bool ExportSchemeFile(const std::string& path, const RuleList& rules, int interval, const SendList& sendList);

// Keeps a copy of the scheme file at `path`, byte for byte, as `path` + ".bak" (an older copy
// of that name is replaced). False when the copy cannot be made.
bool KeepSchemeCopy(const std::string& path);

// The receive area's line at start about a Default.pol that was not read completely: that a
// copy is kept as Default.pol.bak, or, when no copy could be made, that the file is not written
// over at exit.
std::string IncompleteDefaultSchemeLine(bool copyKept);
