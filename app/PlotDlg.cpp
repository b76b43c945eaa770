#include "app/PlotDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/PlotView.h"
#include "platform/WholeFile.h"
#include "session/TerminalSession.h"
#include "ui/FileDialog.h"
#include "ui/Gbk.h"
#include "ui/MessageBox.h"

namespace {

const std::pair<const char*, int> kSpans[] = {{"10 秒", 10},    {"30 秒", 30},     {"1 分钟", 60},  {"5 分钟", 300},
                                              {"10 分钟", 600}, {"30 分钟", 1800}, {"1 小时", 3600}};

// A row of controls, each after its caption unless that is empty.
QHBoxLayout* Row(QWidget* parent, std::initializer_list<std::pair<const char*, QWidget*>> controls)
{
    auto* row = new QHBoxLayout;
    for (const auto& [caption, control] : controls) {
        if (*caption != '\0') {
            row->addWidget(new QLabel(QString::fromUtf8(caption), parent));
        }
        row->addWidget(control);
    }
    return row;
}

}  // namespace

CPlotDlg::CPlotDlg(TerminalSession& session, QWidget* parent)
    : QDialog(parent),
      m_session(session),
      m_frames(FrameGap()),
      m_source(new QComboBox(this)),
      m_offset(new QSpinBox(this)),
      m_type(new QComboBox(this)),
      m_order(new QComboBox(this)),
      m_span(new QComboBox(this)),
      m_autoScale(new QCheckBox(QStringLiteral("自动缩放"), this)),
      m_minimum(new QLineEdit(QStringLiteral("0"), this)),
      m_maximum(new QLineEdit(QStringLiteral("100"), this)),
      m_pause(new QCheckBox(QStringLiteral("暂停"), this)),
      m_status(new QLabel(this)),
      m_view(new PlotView(m_store, this))
{
    setWindowTitle(QStringLiteral("波形显示"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(MakeControls());
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);
    resize(860, 500);
    ConnectControls();
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CPlotDlg::Refresh);
    m_refreshTimer.start();
    m_session.AddObserver(this);
    Refresh();
}

CPlotDlg::~CPlotDlg() { m_session.RemoveObserver(this); }

QLayout* CPlotDlg::MakeControls()
{
    m_source->addItems({QStringLiteral("文本行"), QStringLiteral("二进制帧")});
    m_offset->setRange(0, kMaxOffset);
    for (int type = 0; type <= static_cast<int>(BinaryField::Type::Float32); ++type) {
        m_type->addItem(QString::fromLatin1(BinaryTypeName(static_cast<BinaryField::Type>(type))), type);
    }
    m_type->setCurrentIndex(static_cast<int>(BinaryField::Type::Int16));
    m_order->addItems({QStringLiteral("大端"), QStringLiteral("小端")});
    for (const auto& [caption, seconds] : kSpans) {
        m_span->addItem(QString::fromUtf8(caption), seconds);
    }
    m_view->SetSpan(kSpans[0].second);
    m_autoScale->setChecked(true);
    m_minimum->setEnabled(false);
    m_maximum->setEnabled(false);
    for (QWidget* control : std::initializer_list<QWidget*>{m_offset, m_type, m_order}) {
        control->setEnabled(false);
    }

    QHBoxLayout* source = Row(this, {{"数据来源", m_source}, {"偏移", m_offset}, {"类型", m_type}, {"字节序", m_order}});
    source->addStretch();
    QHBoxLayout* view =
        Row(this, {{"时间窗", m_span}, {"", m_autoScale}, {"最小", m_minimum}, {"最大", m_maximum}, {"", m_pause}});
    for (const auto& [caption, handler] : {std::pair{QStringLiteral("清空"), &CPlotDlg::OnClear},
                                           std::pair{QStringLiteral("导出CSV..."), &CPlotDlg::OnExportCsv},
                                           std::pair{QStringLiteral("导出图片..."), &CPlotDlg::OnExportPicture}}) {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, handler);
        view->addWidget(button);
    }
    view->addStretch();
    auto* rows = new QVBoxLayout;
    rows->addLayout(source);
    rows->addLayout(view);
    return rows;
}

// What is read changes: what was read so far goes.
void CPlotDlg::ConnectControls()
{
    connect(m_source, &QComboBox::currentIndexChanged, this, [this](int source) {
        for (QWidget* control : std::initializer_list<QWidget*>{m_offset, m_type, m_order}) {
            control->setEnabled(source == BinaryFrames);
        }
        OnClear();
    });
    connect(m_type, &QComboBox::currentIndexChanged, this, &CPlotDlg::OnClear);
    connect(m_order, &QComboBox::currentIndexChanged, this, &CPlotDlg::OnClear);
    connect(m_offset, &QSpinBox::valueChanged, this, &CPlotDlg::OnClear);
    connect(m_span, &QComboBox::currentIndexChanged, this, [this] { m_view->SetSpan(m_span->currentData().toInt()); });
    connect(m_autoScale, &QCheckBox::toggled, this, &CPlotDlg::ApplyScale);
    connect(m_minimum, &QLineEdit::editingFinished, this, &CPlotDlg::ApplyScale);
    connect(m_maximum, &QLineEdit::editingFinished, this, &CPlotDlg::ApplyScale);
    connect(m_pause, &QCheckBox::toggled, this, [this](bool paused) {
        m_changed = m_changed || !paused;
        Refresh();
    });
}

void CPlotDlg::showEvent(QShowEvent* event)
{
    m_session.RemoveObserver(this);  // once, however often shown
    m_session.AddObserver(this);
    QDialog::showEvent(event);
}

// Minimising is no reason to stop listening; closing is.
void CPlotDlg::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous()) {
        m_session.RemoveObserver(this);
    }
    QDialog::hideEvent(event);
}

double CPlotDlg::SecondsOf(std::chrono::steady_clock::time_point time) const
{
    return std::chrono::duration<double>(time - m_opened).count();
}

std::chrono::milliseconds CPlotDlg::FrameGap() const
{
    return std::chrono::milliseconds(m_session.Area().Options().frameGapMs);
}

BinaryField CPlotDlg::Field() const
{
    return {static_cast<std::size_t>(m_offset->value()), static_cast<BinaryField::Type>(m_type->currentData().toInt()),
            m_order->currentIndex() == 0};
}

std::vector<std::string> CPlotDlg::Names() const
{
    if (m_source->currentIndex() == TextLines) {
        return m_lines.Names();
    }
    return {std::string(BinaryTypeName(Field().type)) + "@" + std::to_string(Field().offset)};
}

std::uint64_t CPlotDlg::BadLines() const
{
    return m_source->currentIndex() == TextLines ? m_lines.BadLines() : m_badFrames;
}

void CPlotDlg::BytesReceived(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    if (m_source->currentIndex() == BinaryFrames) {
        ReceiveFramed(bytes, count, time);
        return;
    }
    const std::uint64_t badBefore = m_lines.BadLines();
    m_parsed.clear();
    m_lines.Feed(bytes, count, SecondsOf(time.monotonic), m_parsed);
    for (const PlotSample& sample : m_parsed) {
        m_store.Add(sample);
    }
    m_changed = m_changed || !m_parsed.empty() || m_lines.BadLines() != badBefore;
}

void CPlotDlg::ReceiveFramed(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    m_frames.SetGap(FrameGap());
    if (m_frames.Receive(time.monotonic)) {
        EndFrame();
        m_frameStart = SecondsOf(time.monotonic);
    }
    m_lastRead = time.monotonic;
    // Without a frame under way these are the tail of one the timer ended: read before its gap
    // had passed, handed over after.
    if (m_frameStart) {
        const std::size_t reach = Field().offset + BinaryTypeSize(Field().type);
        m_frame.insert(m_frame.end(), bytes, bytes + std::min(count, reach - std::min(reach, m_frame.size())));
    }
}

// A frame too short for the field counts as a bad line.
void CPlotDlg::EndFrame()
{
    if (!m_frameStart) {
        return;
    }
    if (const std::optional<double> value = ReadBinaryField(m_frame.data(), m_frame.size(), Field())) {
        m_store.Add(PlotSample{*m_frameStart, {*value}, 1});
    } else {
        ++m_badFrames;
    }
    m_frame.clear();
    m_frameStart.reset();
    m_changed = true;
}

void CPlotDlg::Refresh()
{
    if (m_frameStart && std::chrono::steady_clock::now() - m_lastRead >= FrameGap()) {
        EndFrame();
    }
    if (!m_changed) {
        return;
    }
    m_status->setText(QStringLiteral("样本 %1，坏行 %2").arg(m_store.Size()).arg(BadLines()));
    if (!m_pause->isChecked()) {
        QStringList names;
        for (const std::string& name : Names()) {
            names << FromGbk(name);
        }
        m_view->SetNames(names);
        m_view->ShowUntil(m_store.LatestSeconds());
    }
    m_changed = false;
}

void CPlotDlg::OnClear()
{
    m_store.Clear();
    m_lines.Reset();
    m_frames = FrameSplitter(FrameGap());
    m_frame.clear();
    m_frameStart.reset();
    m_badFrames = 0;
    m_view->SetNames({});
    m_view->ShowUntil(0);
    m_changed = true;
    Refresh();
}

void CPlotDlg::ApplyScale()
{
    const bool automatic = m_autoScale->isChecked();
    m_minimum->setEnabled(!automatic);
    m_maximum->setEnabled(!automatic);
    bool minimumRead = false;
    bool maximumRead = false;
    const double minimum = m_minimum->text().toDouble(&minimumRead);
    const double maximum = m_maximum->text().toDouble(&maximumRead);
    if (automatic || (minimumRead && maximumRead && minimum < maximum)) {
        m_view->SetValueRange(automatic ? std::nullopt : std::optional(std::pair{minimum, maximum}));
        return;
    }
    ShowMessage(this, QStringLiteral("最小值和最大值须是数，且最小值小于最大值。仍按自动缩放显示。"));
    const QSignalBlocker blocker(m_autoScale);
    m_autoScale->setChecked(true);
    ApplyScale();
}

void CPlotDlg::OnExportCsv()
{
    const QString path =
        AskFilePath(this, {FileDialogKind::Save, QStringLiteral("CSV文件(*.csv)"), QStringLiteral("csv"), true});
    if (path.isEmpty()) {
        return;
    }
    if (const std::error_code error = ReplaceWholeFile(path.toStdString(), m_store.Csv(Names()))) {
        ShowMessage(this, QStringLiteral("不能保存文件“%1”：%2").arg(path, QString::fromLocal8Bit(error.message())));
    }
}

void CPlotDlg::OnExportPicture()
{
    const QString path =
        AskFilePath(this, {FileDialogKind::Save, QStringLiteral("PNG图片(*.png)"), QStringLiteral("png"), true});
    if (!path.isEmpty() && !m_view->grab().save(path, "PNG")) {
        ShowMessage(this, QStringLiteral("不能保存图片“%1”。").arg(path));
    }
}
