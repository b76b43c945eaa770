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
    QString initialPath = QString();  // folder and name the dialog starts with; empty: its own choice
};

// Shows the dialog modally over `owner` and returns the chosen full path, or an empty text when
// the user cancels. A save dialog asks before overwriting an existing file.
QString AskFilePath(QWidget* owner, const FileDialogRequest& request);

// Replaces the real dialog, e.g. with a scripted answer in tests; an empty function restores it.
using FileDialogHandler = std::function<QString(QWidget* owner, const FileDialogRequest& request)>;
void SetFileDialogHandler(FileDialogHandler handler);
