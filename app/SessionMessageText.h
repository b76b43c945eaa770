#pragma once

#include <QString>

#include "session/SessionObserver.h"

// The words of a message of a session that the main window shows: the texts of the port, of
// auto-send, of escapes and of file sends. A capture's messages are its own control's to word
// (the text is empty for them).
QString SessionMessageText(const SessionMessage& message);
