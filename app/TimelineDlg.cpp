#include "app/TimelineDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include "platform/WholeFile.h"
#include "ui/FileDialog.h"
#include "ui/Gbk.h"
#include "ui/MessageBox.h"

namespace {

// Light colours that keep the text readable, one for each port in the order ports appear.
const QColor kPortColours[] = {QColor(0xDD, 0xEE, 0xFF), QColor(0xFF, 0xE8, 0xCC), QColor(0xDD, 0xF5, 0xDD),
                               QColor(0xF5, 0xDD, 0xF5), QColor(0xFF, 0xFF, 0xCC), QColor(0xDD, 0xF5, 0xF5),
                               QColor(0xF0, 0xE0, 0xD0), QColor(0xE8, 0xE8, 0xE8)};

QString Field(const TimelineRowText& row, int column)
{
    switch (column) {
    case TimelineRows::TimeColumn:
        return FromGbk(row.time);
    case TimelineRows::SinceColumn:
        return FromGbk(row.sincePrevious);
    case TimelineRows::PortColumn:
        return FromGbk(row.port);
    case TimelineRows::DirectionColumn:
        return FromGbk(row.direction);
    case TimelineRows::HexColumn:
        return FromGbk(row.hex);
    default:
        return FromGbk(row.text);
    }
}

}  // namespace

TimelineRows::TimelineRows(const Timeline& timeline, QObject* parent) : QAbstractTableModel(parent), m_timeline(timeline)
{
}

void TimelineRows::Refresh(int port, std::optional<bool> sent)
{
    beginResetModel();
    m_rows.clear();
    for (const TimelineFrame& frame : m_timeline.Frames()) {
        if (std::find(m_ports.begin(), m_ports.end(), frame.port) == m_ports.end()) {
            m_ports.push_back(frame.port);
        }
        if ((port == 0 || frame.port == port) && (!sent || frame.sent == *sent)) {
            m_rows.push_back({frame.time.monotonic, frame.serial, frame.port});
        }
    }
    endResetModel();
}

std::vector<const TimelineFrame*> TimelineRows::Frames(const std::vector<int>& rows) const
{
    std::vector<const TimelineFrame*> frames;
    for (const int row : rows) {
        const Row& key = m_rows[static_cast<std::size_t>(row)];
        if (const TimelineFrame* frame = m_timeline.Locate(key.time, key.serial)) {
            frames.push_back(frame);
        }
    }
    return frames;
}

int TimelineRows::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TimelineRows::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TimelineRows::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& key = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::BackgroundRole) {
        const auto colour = std::find(m_ports.begin(), m_ports.end(), key.port) - m_ports.begin();
        return kPortColours[static_cast<std::size_t>(colour) % std::size(kPortColours)];
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const TimelineFrame* frame = m_timeline.Locate(key.time, key.serial);
    if (frame == nullptr) {
        return {};
    }
    const TimelineFrame* previous = nullptr;
    if (index.row() > 0) {
        const Row& before = m_rows[static_cast<std::size_t>(index.row() - 1)];
        previous = m_timeline.Locate(before.time, before.serial);
    }
    // A cell shows the start of a long frame: laying out kilobytes of text for every row drawn
    // would hold the window up. Copy and export take the whole frame.
    const bool cut = frame->bytes.size() > kShownBytes;
    const TimelineFrame shown{frame->serial, frame->time, frame->port, frame->sent, frame->bytes.substr(0, kShownBytes)};
    const QString field = Field(RowText(shown, previous), index.column());
    const bool bytesColumn = index.column() == HexColumn || index.column() == TextColumn;
    return cut && bytesColumn ? field + QStringLiteral("…") : field;
}

QVariant TimelineRows::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const QString titles[] = {QStringLiteral("时间"), QStringLiteral("间隔(毫秒)"), QStringLiteral("端口"),
                              QStringLiteral("方向"), QStringLiteral("HEX"),        QStringLiteral("文本")};
    return section >= 0 && section < ColumnCount ? titles[section] : QVariant();
}

CTimelineDlg::CTimelineDlg(Timeline& timeline, QWidget* parent)
    : QDialog(parent),
      m_timeline(timeline),
      m_rows(timeline, this),
      m_list(new QTableView(this)),
      m_portFilter(new QComboBox(this)),
      m_directionFilter(new QComboBox(this)),
      m_pause(new QPushButton(QStringLiteral("暂停"), this))
{
    setWindowTitle(QStringLiteral("合并视图"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    m_list->setModel(&m_rows);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setTabKeyNavigation(false);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {100, 80, 60, 40, 260};
    for (int column = 0; column < 5; ++column) {
        m_list->setColumnWidth(column, widths[column]);
    }
    m_portFilter->addItem(QStringLiteral("全部端口"), 0);
    m_directionFilter->addItems({QStringLiteral("收和发"), QStringLiteral("收"), QStringLiteral("发")});
    m_pause->setCheckable(true);

    auto* controls = new QHBoxLayout;
    controls->addWidget(m_portFilter);
    controls->addWidget(m_directionFilter);
    controls->addWidget(m_pause);
    for (const auto& [caption, handler] : {std::pair{QStringLiteral("清空"), &CTimelineDlg::OnClear},
                                           std::pair{QStringLiteral("复制"), &CTimelineDlg::OnCopy},
                                           std::pair{QStringLiteral("导出..."), &CTimelineDlg::OnExport}}) {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(false);
        if (handler == &CTimelineDlg::OnExport) {
            button->setObjectName(QStringLiteral("export"));
        }
        connect(button, &QPushButton::clicked, this, handler);
        controls->addWidget(button);
    }
    controls->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_list);
    resize(760, 420);

    connect(m_portFilter, &QComboBox::activated, this, &CTimelineDlg::Refresh);
    connect(m_directionFilter, &QComboBox::activated, this, &CTimelineDlg::Refresh);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused) {
            Refresh();
        }
    });
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CTimelineDlg::RefreshIfChanged);
    m_refreshTimer.start();
    Refresh();
}

void CTimelineDlg::RefreshIfChanged()
{
    if (isVisible() && !m_pause->isChecked() && m_timeline.Version() != m_shownVersion) {
        Refresh();
    }
}

void CTimelineDlg::Refresh()
{
    m_shownVersion = m_timeline.Version();
    const int direction = m_directionFilter->currentIndex();
    const std::optional<bool> sent = direction == 0 ? std::nullopt : std::optional<bool>(direction == 2);
    const QScrollBar* scroll = m_list->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    m_rows.Refresh(m_portFilter->currentData().toInt(), sent);
    UpdatePortFilter();
    if (atEnd) {
        m_list->scrollToBottom();
    }
}

void CTimelineDlg::UpdatePortFilter()
{
    for (const int port : m_rows.PortsSeen()) {
        if (m_portFilter->findData(port) < 0) {
            m_portFilter->addItem(QStringLiteral("COM%1").arg(port), port);
        }
    }
}

void CTimelineDlg::OnClear()
{
    m_timeline.Clear();
    Refresh();
}

QString CTimelineDlg::SelectedRowsText() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    const TimelineFrame* previous = nullptr;
    for (const TimelineFrame* frame : m_rows.Frames(rows)) {
        const TimelineRowText row = RowText(*frame, previous);
        QStringList fields;
        for (int column = 0; column < TimelineRows::ColumnCount; ++column) {
            fields << Field(row, column);
        }
        lines << fields.join(QLatin1Char('\t'));
        previous = frame;
    }
    return lines.join(QLatin1Char('\n'));
}

void CTimelineDlg::OnCopy()
{
    QApplication::clipboard()->setText(SelectedRowsText());
}

void CTimelineDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        OnCopy();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTimelineDlg::OnExport()
{
    const QString path =
        AskFilePath(this, {FileDialogKind::Save, QStringLiteral("CSV文件(*.csv)"), QStringLiteral("csv"), true});
    if (path.isEmpty()) {
        return;
    }
    std::vector<int> rows(static_cast<std::size_t>(m_rows.rowCount()));
    std::iota(rows.begin(), rows.end(), 0);
    const std::error_code error = ReplaceWholeFile(path.toStdString(), TimelineCsv(m_rows.Frames(rows)));
    if (error) {
        ShowMessage(this, QStringLiteral("不能保存文件“%1”：%2").arg(path, QString::fromLocal8Bit(error.message())));
    }
}
