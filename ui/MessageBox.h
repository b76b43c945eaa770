#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

// Every message box of the program goes through ShowMessage, so tests can answer and record
// them instead of a user.
enum class MessageButtons { Ok, YesNo };

// Shows `text` modally over `owner` (may be null) with the caption `caption`; the caption
// defaults to the application's title. Returns QMessageBox::Ok, Yes or No.
QMessageBox::StandardButton ShowMessage(QWidget* owner, const QString& text,
                                        MessageButtons buttons = MessageButtons::Ok,
                                        const QString& caption = QString());

// Replaces the real message box, e.g. with a recorder in tests; an empty function restores it.
using MessageBoxHandler = std::function<QMessageBox::StandardButton(
    QWidget* owner, const QString& text, MessageButtons buttons, const QString& caption)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
