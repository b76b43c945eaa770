#pragma once

#include <QStringList>
#include <utility>

#include "ui/MessageBox.h"

// Answers every message box the program shows and records its text, for the life of the object.
class MessageRecorder {
public:
    explicit MessageRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer)
    {
        SetMessageBoxHandler([this](QWidget*, const QString& text, MessageButtons, const QString& caption) {
            texts.append(text);
            captions.append(caption);
            return answer_;
        });
    }
    ~MessageRecorder() { SetMessageBoxHandler({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void Answer(QMessageBox::StandardButton answer) { answer_ = answer; }

    QStringList texts;
    QStringList captions;

private:
    QMessageBox::StandardButton answer_;
};
