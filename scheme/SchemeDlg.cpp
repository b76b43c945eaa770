#include "scheme/SchemeDlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <optional>
#include <vector>

#include "ui/Gbk.h"
#include "scheme/RuleDlg.h"
#include "traffic/Clock.h"

namespace {

constexpr int kRuleColumns = 5;
constexpr int kStatisticsColumns = 5;
constexpr std::chrono::milliseconds kStatisticsRefresh{500};

QString TypeText(std::int32_t isHex)
{
    return isHex != 0 ? QStringLiteral("16进制") : QStringLiteral("字符串");
}

QString Milliseconds(ReplyStatistics::Latency latency)
{
    return QString::number(std::chrono::duration<double, std::milli>(latency).count(), 'f', 3);
}

// Times fired, last fired, and the last, median and longest latency; empty for a rule that has
// not fired.
std::array<QString, kStatisticsColumns> StatisticsTexts(const std::optional<ReplyStatistics::Figures>& figures)
{
    if (!figures) {
        return {};
    }
    const QString lastFired = QString::fromStdString(FormatTimeOfDay(figures->lastFired));
    if (!figures->timed) {
        return {QString::number(figures->fired), lastFired};
    }
    return {QString::number(figures->fired), lastFired, Milliseconds(figures->last), Milliseconds(figures->median),
            Milliseconds(figures->longest)};
}

}  // namespace

QString AskSchemeFilePath(QWidget* owner, FileDialogKind kind)
{
    return AskFilePath(owner, {kind, QStringLiteral("规则文件(*.pol)"), QStringLiteral("ptl")});
}

CSchemeDlg::CSchemeDlg(Scheme& scheme, QWidget* parent)
    : QDialog(parent), m_scheme(scheme), m_list(new QTableWidget(this)), m_buttons(new QHBoxLayout)
{
    setWindowTitle(QStringLiteral("编辑方案"));
    m_list->setObjectName(QString::number(IDC_LIST));

    QHBoxLayout* buttons = m_buttons;
    auto addButton = [this, buttons](int id, const QString& caption, void (CSchemeDlg::*handler)()) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::number(id));
        connect(button, &QPushButton::clicked, this, handler);
        buttons->addWidget(button);
        return button;
    };
    addButton(IDC_EXPORT, QStringLiteral("导出"), &CSchemeDlg::OnExport);
    addButton(IDC_IMPORT, QStringLiteral("导入"), &CSchemeDlg::OnImport);
    addButton(IDC_ADD, QStringLiteral("添加"), &CSchemeDlg::OnAdd);
    addButton(IDC_DELETE, QStringLiteral("删除"), &CSchemeDlg::OnDelete);
    addButton(IDC_EDIT, QStringLiteral("编辑"), &CSchemeDlg::OnEdit);
    QPushButton* close = addButton(1, QStringLiteral("关闭"), &CSchemeDlg::accept);
    close->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this](int row) { EditRow(row); });
    resize(660, 340);
    m_scheme.AddListener(this);
}

CSchemeDlg::~CSchemeDlg() { m_scheme.RemoveListener(this); }

int CSchemeDlg::exec()
{
    InitList();
    RefillList();
    return QDialog::exec();
}

void CSchemeDlg::ShowStatistics()
{
    auto* reset = new QPushButton(QStringLiteral("清零"), this);
    connect(reset, &QPushButton::clicked, this, [this] {
        m_scheme.Statistics().Clear();
        RefreshStatistics();
    });
    m_buttons->insertWidget(m_buttons->count() - 1, reset);
    m_statisticsTimer = new QTimer(this);
    connect(m_statisticsTimer, &QTimer::timeout, this, &CSchemeDlg::RefreshStatistics);
    m_statisticsTimer->start(kStatisticsRefresh);
    resize(width() + 360, height());
}

int CSchemeDlg::ColumnCount() const { return kRuleColumns + (m_statisticsTimer != nullptr ? kStatisticsColumns : 0); }

void CSchemeDlg::InitList()
{
    m_list->setColumnCount(ColumnCount());
    const QStringList labels = {QStringLiteral("名称"),         QStringLiteral("接收码"),
                                QStringLiteral("接收类型"),     QStringLiteral("发送码"),
                                QStringLiteral("发送类型"),     QStringLiteral("次数"),
                                QStringLiteral("最后触发"),     QStringLiteral("最近延迟(ms)"),
                                QStringLiteral("中位延迟(ms)"), QStringLiteral("最大延迟(ms)")};
    m_list->setHorizontalHeaderLabels(labels.mid(0, ColumnCount()));
    const int widths[] = {100, 200, 60, 200, 60, 60, 90, 80, 80, 80};
    for (int column = 0; column < ColumnCount(); ++column) {
        m_list->setColumnWidth(column, widths[column]);
        m_list->horizontalHeaderItem(column)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    m_list->verticalHeader()->hide();
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the buttons, as in any dialog; the arrows move within it.
    m_list->setTabKeyNavigation(false);
    m_list->setWordWrap(false);
}

void CSchemeDlg::RulesChanged() { RefillList(); }

void CSchemeDlg::RefillList()
{
    const RuleList& rules = m_scheme.Rules();
    m_list->clearContents();
    m_list->setRowCount(static_cast<int>(rules.size()));
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const ProtocolRule& rule = *rules[static_cast<std::size_t>(row)];
        const QString texts[] = {FromGbk(rule.Name), FromGbk(rule.RecvData), TypeText(rule.RecvIsHex),
                                 FromGbk(rule.SendData), TypeText(rule.SendIsHex)};
        for (int column = 0; column < kRuleColumns; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (column == 0) {
                item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&rule)));
            }
            m_list->setItem(row, column, item);
        }
    }
    RefreshStatistics();
}

void CSchemeDlg::RefreshStatistics()
{
    if (m_statisticsTimer == nullptr) {
        return;
    }
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const ProtocolRule* rule = RuleOfRow(row);
        const auto texts = StatisticsTexts(rule == nullptr ? std::nullopt : m_scheme.Statistics().Of(rule->Id));
        for (int i = 0; i < kStatisticsColumns; ++i) {
            QTableWidgetItem* item = m_list->item(row, kRuleColumns + i);
            if (item == nullptr) {
                m_list->setItem(row, kRuleColumns + i, new QTableWidgetItem(texts[static_cast<std::size_t>(i)]));
            } else if (item->text() != texts[static_cast<std::size_t>(i)]) {
                item->setText(texts[static_cast<std::size_t>(i)]);
            }
        }
    }
}

const ProtocolRule* CSchemeDlg::RuleOfRow(int row) const
{
    const QTableWidgetItem* item = m_list->item(row, 0);
    return item == nullptr ? nullptr
                           : reinterpret_cast<const ProtocolRule*>(item->data(Qt::UserRole).value<quintptr>());
}

int CSchemeDlg::FirstSelectedRow() const
{
    const QList<QTableWidgetSelectionRange> ranges = m_list->selectedRanges();
    int first = -1;
    for (const QTableWidgetSelectionRange& range : ranges) {
        if (first < 0 || range.topRow() < first) {
            first = range.topRow();
        }
    }
    return first;
}

bool CSchemeDlg::EditRule(const ProtocolRule* rule)
{
    if (rule == nullptr) {
        return false;
    }
    CRuleDlg dialog(this);
    dialog.m_name = rule->Name;
    dialog.m_recvData = rule->RecvData;
    dialog.m_recvIsHex = rule->RecvIsHex;
    dialog.m_sendData = rule->SendData;
    dialog.m_sendIsHex = rule->SendIsHex;
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    return m_scheme.ChangeRule(rule, {dialog.m_name, dialog.m_recvData, dialog.m_sendData, dialog.m_recvIsHex,
                                      dialog.m_sendIsHex});
}

void CSchemeDlg::EditRow(int row)
{
    EditRule(RuleOfRow(row));
}

void CSchemeDlg::OnAdd()
{
    CRuleDlg dialog(this);
    if (dialog.exec() == QDialog::Accepted) {
        m_scheme.AddRule({dialog.m_name, dialog.m_recvData, dialog.m_sendData, dialog.m_recvIsHex, dialog.m_sendIsHex});
    }
}

void CSchemeDlg::OnDelete()
{
    std::vector<const ProtocolRule*> selected;
    for (const QTableWidgetSelectionRange& range : m_list->selectedRanges()) {
        for (int row = range.topRow(); row <= range.bottomRow(); ++row) {
            selected.push_back(RuleOfRow(row));
        }
    }
    for (const ProtocolRule* rule : selected) {
        m_scheme.RemoveRule(rule);
    }
}

void CSchemeDlg::OnEdit()
{
    const int row = FirstSelectedRow();
    if (row >= 0) {
        EditRow(row);
    }
}

void CSchemeDlg::OnExport()
{
    const QString path = AskSchemeFilePath(this, FileDialogKind::Save);
    if (!path.isEmpty()) {
        m_scheme.Export(path.toStdString());
    }
}

void CSchemeDlg::OnImport()
{
    const QString path = AskSchemeFilePath(this, FileDialogKind::Open);
    if (!path.isEmpty()) {
        m_scheme.Import(path.toStdString());
    }
}
