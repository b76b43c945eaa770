#pragma once

#include <QPlainTextEdit>

// A multi-line text field of a dialog that leaves Enter to the dialog, so Enter presses the
// dialog's default button; Ctrl+Enter types the line break instead.
class DialogTextEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit DialogTextEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
