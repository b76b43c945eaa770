#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "traffic/AreaSearch.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class ReceiveArea;

// "查找": a text or hex pattern looked for in the receive area, every match marked there and the
// current one selected, with its number and the count ("3 / 17"). "上一个" and "下一个" (and F3)
// move through the matches; the marks follow the area as it grows and clears whenever the main
// window brings the area up to date.
class CFindDlg : public QDialog {
    Q_OBJECT

public:
    // Matches marked at most: a pattern found everywhere in a full area is still shown at once.
    static constexpr std::size_t kMostMatches = 10000;

    CFindDlg(const ReceiveArea& area, QPlainTextEdit* view, QWidget* parent);

    // Goes to the next match (the previous with `backwards`); reports a bad hex pattern.
    void FindNext(bool backwards = false);
    // Finds again in the area as it is now and marks the matches, keeping the current one.
    void Refresh();
    // The same within a tenth of a second: the area changes at display rate, the marks less often.
    void RefreshSoon();
    // A match is the current one: the view shows it instead of following the end.
    bool HoldsView() const { return isVisible() && m_current >= 0; }

    QLineEdit* PatternEdit() const { return m_pattern; }
    QCheckBox* HexBox() const { return m_hex; }
    QCheckBox* CaseBox() const { return m_case; }
    QLabel* CountLabel() const { return m_count; }
    const std::vector<AreaMatch>& Matches() const { return m_matches; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    // The pattern of the controls; false after saying why it is no pattern.
    bool TakePattern(FindPattern& pattern, bool report);
    void Mark();

    const ReceiveArea& m_area;
    QPlainTextEdit* m_view;
    QLineEdit* m_pattern;
    QCheckBox* m_hex;
    QCheckBox* m_case;
    QLabel* m_count;
    std::vector<AreaMatch> m_matches;
    int m_current = -1;
    std::uint64_t m_generation = 0;
    QTimer m_refreshTimer;
};
