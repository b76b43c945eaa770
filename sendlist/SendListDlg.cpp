#include "sendlist/SendListDlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Gbk.h"
#include "controls/EditableListCtrl.h"
#include "controls/ListImages.h"

CSendListDlg::CSendListDlg(Scheme& scheme, QWidget* parent)
    : QDialog(parent), m_scheme(scheme), m_list(new CEditableListCtrl(this))
{
    setWindowTitle(QStringLiteral("多报文发送配置"));
    m_list->setObjectName(QString::number(IDC_LIST));

    auto* buttons = new QHBoxLayout;
    auto addButton = [this, buttons](int id, const QString& caption) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::number(id));
        buttons->addWidget(button);
        return button;
    };
    QPushButton* add = addButton(IDC_ADD, QStringLiteral("添加"));
    QPushButton* remove = addButton(IDC_DELETE, QStringLiteral("删除"));
    buttons->addStretch();
    QPushButton* ok = addButton(IDOK, QStringLiteral("确定"));
    QPushButton* cancel = addButton(IDCANCEL, QStringLiteral("取消"));
    ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    resize(509, 299);

    connect(add, &QPushButton::clicked, this, &CSendListDlg::OnAdd);
    connect(remove, &QPushButton::clicked, this, &CSendListDlg::OnDelete);
    connect(m_list, &CEditableListCtrl::checkChanged, this, &CSendListDlg::OnCheckChanged);
    connect(ok, &QPushButton::clicked, this, &CSendListDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSendListDlg::reject);
}

// The side panel is rebuilt once the dialog has ended: while it runs, the panel's cycle goes on
// over the rows it had.
int CSendListDlg::exec()
{
    const Scheme::NewsHeld held(m_scheme);
    OnInitDialog();
    return QDialog::exec();
}

QPushButton* CSendListDlg::Button(int id) const
{
    return findChild<QPushButton*>(QString::number(id));
}

void CSendListDlg::OnInitDialog()
{
    m_list->SetImageList(MakeSendTypeImages(), kSendTypeImagesMask);
    m_list->SetGridLines(true);
    m_list->AllowEdit(true);
    m_list->SetCheckStyle(CHECK_MULTI);
    m_list->InsertColumn(0, QStringLiteral("标题"), COLUMN_LEFT, 100);
    m_list->InsertColumn(1, QStringLiteral("发送数据"), COLUMN_LEFT, 350);
    for (const std::shared_ptr<SendItem>& entry : m_scheme.SendItems()) {
        if (entry != nullptr) {
            AppendRow(entry, FromGbk(entry->Caption));
        }
    }
}

void CSendListDlg::AppendRow(const std::shared_ptr<SendItem>& entry, const QString& caption)
{
    const int row = m_list->InsertItem(m_list->GetItemCount(), caption, entry->IsHex != 0 ? 1 : 0);
    m_list->SetItemText(row, 1, FromGbk(entry->Data));
    m_list->SetCheck(row, entry->IsHex != 0);
    m_list->SetItemUserData(row, reinterpret_cast<std::uintptr_t>(entry.get()));
    m_rowEntries.push_back(entry);
}

const SendItem* CSendListDlg::EntryOfRow(int row) const
{
    return reinterpret_cast<const SendItem*>(m_list->GetItemUserData(row));
}

void CSendListDlg::OnAdd()
{
    auto entry = std::make_shared<SendItem>();
    entry->Caption = "new";
    m_scheme.AddSendItem(entry);
    AppendRow(entry, QStringLiteral("new"));
    m_list->EditCell(m_list->GetItemCount() - 1, 0);
}

void CSendListDlg::OnDelete()
{
    for (int row = m_list->FindNextItem(ITEM_SELECTED, -1); row >= 0; row = m_list->FindNextItem(ITEM_SELECTED, -1)) {
        const SendItem* entry = EntryOfRow(row);
        m_scheme.RemoveSendItem(entry);
        m_list->DeleteItem(row, false);
        std::erase_if(m_rowEntries, [entry](const auto& kept) { return kept.get() == entry; });
    }
}

void CSendListDlg::OnCheckChanged(int row)
{
    m_list->SetItemImage(row, 0, m_list->GetCheck(row) > 0 ? 1 : 0);
}

void CSendListDlg::accept()
{
    std::vector<std::pair<const SendItem*, SendItem>> changes;
    for (int row = 0; row < m_list->GetItemCount(); ++row) {
        changes.push_back({EntryOfRow(row),
                           {m_list->GetCheck(row) > 0 ? 1 : 0, ToGbk(m_list->GetItemText(row, 0)),
                            ToGbk(m_list->GetItemText(row, 1))}});
    }
    m_scheme.ChangeSendItems(changes);
    QDialog::accept();
}
