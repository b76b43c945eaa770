#include "ui/MessageBox.h"

#include <QApplication>
#include <utility>

namespace {

MessageBoxHandler& Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

}  // namespace

QMessageBox::StandardButton ShowMessage(QWidget* owner, const QString& text, MessageButtons buttons,
                                        const QString& caption)
{
    const QString title = caption.isEmpty() ? QStringLiteral("串口调试") : caption;
    if (Handler()) {
        return Handler()(owner, text, buttons, title);
    }
    if (buttons == MessageButtons::YesNo) {
        return QMessageBox::question(owner, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    }
    return QMessageBox::information(owner, title, text, QMessageBox::Ok);
}

void SetMessageBoxHandler(MessageBoxHandler handler)
{
    Handler() = std::move(handler);
}
