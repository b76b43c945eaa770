#include "ui/DialogTextEdit.h"

#include <QKeyEvent>

DialogTextEdit::DialogTextEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
}

void DialogTextEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        insertPlainText(QStringLiteral("\n"));
        event->accept();
        return;
    }
    // Ignored, the key travels on to the dialog, which presses its default button.
    event->ignore();
}
