#pragma once

#include <QString>
#include <functional>

class QWidget;

// Every file dialog of the program goes through AskFilePath, so tests can answer them.
enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
    FileDialogKind kind;
    QString filter;         // e.g. "规则文件(*.pol)"
    QString defaultSuffix;  // added to a name typed without an extension, e.g. "ptl"
    bool confirmOverwrite = true;  // a save dialog asks before an existing file is chosen
    QString initialPath = QString();  // folder and name the dialog starts with; empty: its own choice
};

// Shows Qt's own dialog (its texts follow the program's language, not the desktop's) modally
// over `owner` and returns the chosen full path, or an empty text when the user cancels.
QString AskFilePath(QWidget* owner, const FileDialogRequest& request);

// Replaces the real dialog, e.g. with a scripted answer in tests; an empty function restores it.
using FileDialogHandler = std::function<QString(QWidget* owner, const FileDialogRequest& request)>;
void SetFileDialogHandler(FileDialogHandler handler);
