#include "app/ReceiveView.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include "traffic/ReceiveArea.h"

ReceiveView::ReceiveView(QPlainTextEdit* widget) : m_widget(widget) {}

void ReceiveView::Show(const ReceiveArea& area, bool followEnd)
{
    const std::string& text = area.Text();
    if (m_shownGeneration != area.Generation() || m_shownLength > text.size()) {
        m_widget->clear();
        m_shownGeneration = area.Generation();
        m_shownLength = 0;
        m_shownDecoder = TextDecoder(area.Options().codec);
    }
    std::size_t end = text.size();
    // A CR at the end may be the first half of a CR LF line break: it waits for the next byte.
    if (end > m_shownLength && text[end - 1] == '\r') {
        --end;
    }
    if (end > m_shownLength) {
        const std::string_view fresh = std::string_view(text).substr(m_shownLength, end - m_shownLength);
        QString added = QString::fromUtf8(m_shownDecoder.Decode(fresh));
        added.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        added.remove(QLatin1Char('\r'));
        // One edit for all the lines: the layout then takes them as one change and lays out only
        // what is shown, instead of every line as it is inserted.
        QTextCursor cursor(m_widget->document());
        cursor.movePosition(QTextCursor::End);
        // The last line keeps what its layout worked out (the hex view is one long line): without
        // that, scrolling to the caret and drawing would work it out again for the whole line.
        cursor.block().layout()->setCacheEnabled(true);
        cursor.beginEditBlock();
        cursor.insertText(added);
        cursor.endEditBlock();
        m_shownLength = end;
    }
    // Text inserted at the caret leaves it at the end; it is moved only when the user put it
    // elsewhere, since moving it lays the last line out again.
    if (!followEnd) {
        return;
    }
    if (!m_widget->textCursor().atEnd()) {
        m_widget->moveCursor(QTextCursor::End);
    }
    m_widget->ensureCursorVisible();
}
