#pragma once

#include <cstddef>
#include <cstdint>

#include "traffic/TextDecoder.h"

class QPlainTextEdit;
class ReceiveArea;

// Shows a receive area in a text widget. Each Show adds only what the widget does not show yet,
// in one edit, and starts again from the beginning when the area was emptied since; the widget
// keeps the caret at the end and in view.
class ReceiveView {
public:
    explicit ReceiveView(QPlainTextEdit* widget);

    // `followEnd`: the caret goes back to the end, so the newest text shows.
    void Show(const ReceiveArea& area, bool followEnd = true);

private:
    QPlainTextEdit* m_widget;
    std::uint64_t m_shownGeneration = 0;
    std::size_t m_shownLength = 0;
    TextDecoder m_shownDecoder;
};
