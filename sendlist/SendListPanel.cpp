#include "sendlist/SendListPanel.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <optional>

#include "ui/Gbk.h"
#include "app/IntegerText.h"
#include "ui/MessageBox.h"
#include "controls/EditableListCtrl.h"
#include "controls/ListImages.h"
#include "sendlist/CyclicSend.h"
#include "session/SendTarget.h"

namespace {

constexpr int kBottomRowHeight = 18;
const QSize kInitialSize(238, 150);

}  // namespace

CSendListPanel::CSendListPanel(Scheme& scheme, SendTarget& target, QWidget* parent)
    : QWidget(parent),
      m_scheme(scheme),
      m_target(target),
      m_list(AddControl(IDC_LIST, new CEditableListCtrl, QRect(0, 0, kInitialSize.width(), kInitialSize.height() - 20))),
      m_btnCycle(AddControl(IDC_CYCLE, new QCheckBox(QStringLiteral("自动循环发送")), QRect(2, 0, 100, kBottomRowHeight))),
      m_intervalEdit(new QLineEdit)
{
    AddControl(IDC_INTERVAL_LABEL, new QLabel(QStringLiteral("间隔")), QRect(104, 0, 26, kBottomRowHeight));
    AddControl(IDC_INTERVAL, m_intervalEdit, QRect(132, 0, 50, kBottomRowHeight));
    AddControl(IDC_MILLISECONDS, new QLabel(QStringLiteral("毫秒")), QRect(186, 0, 28, kBottomRowHeight));
    resize(kInitialSize);
    OnSize(width(), height());

    connect(m_btnCycle, &QCheckBox::clicked, this, &CSendListPanel::OnCycleClicked);
    connect(m_list, &CEditableListCtrl::listDoubleClicked, this, &CSendListPanel::OnListDoubleClicked);
    connect(&m_cyclicTimer, &QTimer::timeout, this, [this] { OnTimer(TIMER_CYCLIC_SEND); });
    UpdateData(false);
    m_scheme.AddListener(this);
}

CSendListPanel::~CSendListPanel() { m_scheme.RemoveListener(this); }

template <typename Widget>
Widget* CSendListPanel::AddControl(int id, Widget* widget, const QRect& geometry)
{
    widget->setParent(this);
    widget->setGeometry(geometry);
    widget->setObjectName(QString::number(id));
    return widget;
}

void CSendListPanel::OnInitDialog()
{
    m_list->SetImageList(MakeSendTypeImages(), kSendTypeImagesMask);
    m_list->InsertColumn(0, QStringLiteral("名称"), COLUMN_LEFT, 80);
    m_list->InsertColumn(1, QStringLiteral("内容"), COLUMN_LEFT, 200);
    m_list->SetGridLines(true);
    RefreshList();
}

void CSendListPanel::RefreshList()
{
    m_list->DeleteItems(ITEM_ANY);
    m_shownEntries.clear();
    for (const std::shared_ptr<SendItem>& entry : m_scheme.SendItems()) {
        if (entry == nullptr) {
            continue;
        }
        const int row = m_list->InsertItem(m_list->GetItemCount(), FromGbk(entry->Caption), entry->IsHex);
        m_list->SetItemText(row, 1, FromGbk(entry->Data));
        m_list->SetItemBkColor(row, 0, kCaptionColor, false);
        m_list->SetItemUserData(row, reinterpret_cast<std::uintptr_t>(entry.get()));
        m_shownEntries.push_back(entry);
    }
    m_list->viewport()->update();
}

const SendItem* CSendListPanel::EntryOfRow(int row) const
{
    return reinterpret_cast<const SendItem*>(m_list->GetItemUserData(row));
}

// Every row gets its normal colours back, not only the row of the current number: a sort
// moves the red row away from that number.
void CSendListPanel::RestoreNormalColors()
{
    m_list->SetItemBkColor(-1, 0, kCaptionColor, false);
    m_list->SetItemBkColor(-1, 1, kWindowColor, true);
}

bool CSendListPanel::SendRow(int row)
{
    const SendItem* entry = EntryOfRow(row);
    if (entry == nullptr) {
        return false;
    }
    m_target.SendString(entry->Data, entry->IsHex);
    m_list->SetItemBkColor(row, -1, kSentColor, true);
    return true;
}

bool CSendListPanel::SendNextItem()
{
    if (m_nCurItem >= 0) {
        RestoreNormalColors();
    }
    m_nCurItem = NextCyclicRow(m_nCurItem, m_list->GetItemCount());
    return SendRow(m_nCurItem);
}

void CSendListPanel::OnListDoubleClicked(QPoint listPos)
{
    if (m_nCurItem >= 0) {
        RestoreNormalColors();
    }
    const int row = m_list->HitTestRow(listPos);
    if (row >= 0) {
        m_nCurItem = row;
        SendRow(row);
    }
}

bool CSendListPanel::UpdateData(bool saveAndValidate)
{
    if (!saveAndValidate) {
        m_intervalEdit->setText(QString::number(m_nInterval));
        return true;
    }
    const std::optional<int> value = ParseInteger(ToGbk(m_intervalEdit->text()));
    if (!value || *value < 0) {
        ShowMessage(this, QStringLiteral("请输入一个正整数。"));
        m_intervalEdit->setFocus();
        m_intervalEdit->selectAll();
        return false;
    }
    m_nInterval = static_cast<unsigned>(*value);
    return true;
}

void CSendListPanel::OnCycleClicked()
{
    UpdateData(true);
    if (!m_target.IsPortOpen()) {
        ShowMessage(this, QStringLiteral("端口没有打开，无法发送！"));
    } else if (m_nInterval == 0) {
        ShowMessage(this, QStringLiteral("自动发送周期不能为0，请重新设置！"));
    } else if (m_btnCycle->isChecked()) {
        m_cyclicTimer.start(static_cast<int>(m_nInterval));
        return;
    }
    // The box is clear now, whichever way: the timer stops with it, also when a message
    // cleared the box of a cycle that was running.
    StopCyclicSend();
}

void CSendListPanel::StopCyclicSend()
{
    m_btnCycle->setChecked(false);
    m_cyclicTimer.stop();
}

void CSendListPanel::OnTimer(int timerId)
{
    if (timerId == TIMER_CYCLIC_SEND && !SendNextItem()) {
        StopCyclicSend();
    }
}

void CSendListPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    OnSize(width(), height());
}

void CSendListPanel::OnSize(int cx, int cy)
{
    m_list->setGeometry(0, 0, cx, cy - 20);
    for (int id : {IDC_CYCLE, IDC_INTERVAL_LABEL, IDC_INTERVAL, IDC_MILLISECONDS}) {
        QWidget* control = GetDlgItem(id);
        const QRect r = control->geometry();
        control->setGeometry(r.left(), cy - 18, r.width(), r.height());
    }
}

// Enter and Escape reach the panel when its controls leave them unused; they must not go on
// to the main window, where they would close it.
void CSendListPanel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

QWidget* CSendListPanel::GetDlgItem(int id) const
{
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}
