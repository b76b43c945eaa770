#include "scheme/SchemeDlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <vector>

#include "ui/Gbk.h"
#include "scheme/RuleDlg.h"

namespace {

QString TypeText(std::int32_t isHex)
{
    return isHex != 0 ? QStringLiteral("16进制") : QStringLiteral("字符串");
}

}  // namespace

QString AskSchemeFilePath(QWidget* owner, FileDialogKind kind)
{
    return AskFilePath(owner, {kind, QStringLiteral("规则文件(*.pol)"), QStringLiteral("ptl")});
}

CSchemeDlg::CSchemeDlg(Scheme& scheme, QWidget* parent)
    : QDialog(parent), m_scheme(scheme), m_list(new QTableWidget(this))
{
    setWindowTitle(QStringLiteral("编辑方案"));
    m_list->setObjectName(QString::number(IDC_LIST));

    auto* buttons = new QHBoxLayout;
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

void CSchemeDlg::InitList()
{
    m_list->setColumnCount(5);
    m_list->setHorizontalHeaderLabels({QStringLiteral("名称"), QStringLiteral("接收码"), QStringLiteral("接收类型"),
                                       QStringLiteral("发送码"), QStringLiteral("发送类型")});
    const int widths[] = {100, 200, 60, 200, 60};
    for (int column = 0; column < 5; ++column) {
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
        for (int column = 0; column < 5; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (column == 0) {
                item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&rule)));
            }
            m_list->setItem(row, column, item);
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
