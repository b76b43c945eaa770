#include "app/FindDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>

#include "traffic/ReceiveArea.h"
#include "traffic/TextDecoder.h"
#include "ui/Gbk.h"
#include "ui/MessageBox.h"

namespace {

// The places in the view's document of offsets into the area's text (ascending): the text as
// the view shows it, decoded, with a CR LF as one line break and a lone CR left out.
std::vector<int> DocumentPositions(const ReceiveArea& area, const std::vector<std::size_t>& offsets)
{
    std::vector<int> positions;
    positions.reserve(offsets.size());
    TextDecoder decoder(area.Options().codec);
    const std::string& text = area.Text();
    std::size_t done = 0;
    int position = 0;
    for (const std::size_t offset : offsets) {
        const QString shown = QString::fromUtf8(decoder.Decode(std::string_view(text).substr(done, offset - done)));
        position += static_cast<int>(shown.size() - shown.count(QLatin1Char('\r')));
        done = offset;
        positions.push_back(position);
    }
    return positions;
}

}  // namespace

CFindDlg::CFindDlg(const ReceiveArea& area, QPlainTextEdit* view, QWidget* parent)
    : QDialog(parent),
      m_area(area),
      m_view(view),
      m_pattern(new QLineEdit),
      m_hex(new QCheckBox(QStringLiteral("HEX"))),
      m_case(new QCheckBox(QStringLiteral("区分大小写"))),
      m_count(new QLabel(QStringLiteral("0 / 0")))
{
    setWindowTitle(QStringLiteral("查找"));
    setModal(false);
    auto* previous = new QPushButton(QStringLiteral("上一个(&P)"));
    auto* next = new QPushButton(QStringLiteral("下一个(&N)"));
    next->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addWidget(m_pattern, 1);
    row->addWidget(previous);
    row->addWidget(next);
    auto* options = new QHBoxLayout;
    options->addWidget(m_hex);
    options->addWidget(m_case);
    options->addStretch();
    options->addWidget(m_count);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(options);
    connect(next, &QPushButton::clicked, this, [this] { FindNext(false); });
    connect(previous, &QPushButton::clicked, this, [this] { FindNext(true); });
    for (QCheckBox* box : {m_hex, m_case}) {
        connect(box, &QCheckBox::toggled, this, [this] {
            m_current = -1;
            Refresh();
        });
    }
    connect(m_pattern, &QLineEdit::textEdited, this, [this] { m_current = -1; });
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(100);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CFindDlg::Refresh);
    resize(420, sizeHint().height());
}

void CFindDlg::RefreshSoon()
{
    if (isVisible() && !m_refreshTimer.isActive()) {
        m_refreshTimer.start();
    }
}

void CFindDlg::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    m_refreshTimer.stop();
    m_current = -1;
    m_view->setExtraSelections({});
}

bool CFindDlg::TakePattern(FindPattern& pattern, bool report)
{
    pattern.hex = m_hex->isChecked();
    pattern.caseSensitive = m_case->isChecked();
    const std::string typed = ToGbk(m_pattern->text());
    if (!pattern.hex) {
        pattern.text = typed;
        return !typed.empty();
    }
    const std::optional<std::string> bytes = HexPatternBytes(typed);
    if (!bytes) {
        if (report && !typed.empty()) {
            ShowMessage(this, QStringLiteral("“%1”不是十六进制数据（成对的十六进制数字，可用空格隔开）。")
                                  .arg(m_pattern->text().left(40)));
        }
        return false;
    }
    pattern.text = *bytes;
    return true;
}

void CFindDlg::FindNext(bool backwards)
{
    FindPattern pattern;
    if (!TakePattern(pattern, true)) {
        return;
    }
    Refresh();
    if (m_matches.empty()) {
        return;
    }
    const int count = static_cast<int>(m_matches.size());
    m_current = m_current < 0 ? (backwards ? count - 1 : 0) : (m_current + (backwards ? count - 1 : 1)) % count;
    Mark();
}

void CFindDlg::Refresh()
{
    FindPattern pattern;
    const bool hadCurrent = m_current >= 0 && m_current < static_cast<int>(m_matches.size());
    const std::size_t currentOffset = hadCurrent ? m_matches[static_cast<std::size_t>(m_current)].begin : 0;
    const bool sameArea = m_generation == m_area.Generation();
    m_generation = m_area.Generation();
    m_matches = TakePattern(pattern, false) ? FindInArea(m_area, pattern, kMostMatches) : std::vector<AreaMatch>();
    if (m_current >= 0) {
        // The current match stays the one at the same place, as long as the area was not emptied.
        const auto kept = std::find_if(m_matches.begin(), m_matches.end(),
                                       [currentOffset](const AreaMatch& match) { return match.begin >= currentOffset; });
        m_current = sameArea && kept != m_matches.end() ? static_cast<int>(kept - m_matches.begin()) : -1;
    }
    Mark();
}

void CFindDlg::Mark()
{
    std::vector<std::size_t> offsets;
    offsets.reserve(2 * m_matches.size());
    for (const AreaMatch& match : m_matches) {
        offsets.push_back(match.begin);
        offsets.push_back(match.end);
    }
    const std::vector<int> positions = DocumentPositions(m_area, offsets);
    QList<QTextEdit::ExtraSelection> marks;
    QTextCursor current;
    for (std::size_t i = 0; i < m_matches.size(); ++i) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(m_view->document());
        mark.cursor.setPosition(positions[2 * i]);
        mark.cursor.setPosition(positions[2 * i + 1], QTextCursor::KeepAnchor);
        const bool isCurrent = static_cast<int>(i) == m_current;
        mark.format.setBackground(isCurrent ? QColor(0xFF, 0x96, 0x32) : QColor(0xFF, 0xF0, 0x60));
        marks.append(mark);
        if (isCurrent) {
            current = mark.cursor;
        }
    }
    m_view->setExtraSelections(marks);
    if (!current.isNull()) {
        QTextCursor visible(current);
        visible.setPosition(current.selectionStart());
        m_view->setTextCursor(visible);
        m_view->ensureCursorVisible();
    }
    m_count->setText(QStringLiteral("%1 / %2").arg(m_current < 0 ? 0 : m_current + 1).arg(m_matches.size()));
}
