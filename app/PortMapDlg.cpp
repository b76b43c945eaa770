#include "app/PortMapDlg.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ProfileFile.h"
#include "platform/VirtualTarget.h"
#include "ui/Gbk.h"
#include "ui/MessageBox.h"

namespace {

enum Column { PortColumn, TargetColumn, KindColumn, PresenceColumn, ColumnCount };

QString KindText(PortKind kind)
{
    switch (kind) {
    case PortKind::Default:
        return QStringLiteral("默认");
    case PortKind::Device:
        return QStringLiteral("设备");
    case PortKind::Network:
        return QStringLiteral("网络");
    case PortKind::Virtual:
        return QStringLiteral("虚拟串口");
    case PortKind::Monitor:
        return QStringLiteral("监视端口");
    case PortKind::Unparsable:
        return QStringLiteral("无法解析");
    }
    return {};
}

QString TargetText(const PortMapRow& row)
{
    switch (row.kind) {
    case PortKind::Virtual:
        return QStringLiteral("%1，链接 %2").arg(FromGbk(row.linkName), FromGbk(row.linkPath));
    case PortKind::Monitor:
        return QStringLiteral("监视 %1，链接 %2").arg(FromGbk(row.device), FromGbk(row.linkPath));
    case PortKind::Unparsable:
        return QStringLiteral("%1（%2）").arg(FromGbk(row.entry.value_or(std::string())), FromGbk(row.problem));
    case PortKind::Default:
    case PortKind::Device:
    case PortKind::Network:
        break;
    }
    return row.target.empty() ? QStringLiteral("没有对应的设备") : FromGbk(row.target);
}

QString PresenceText(const PortMapRow& row, const DeviceCatalog& catalog)
{
    switch (row.kind) {
    case PortKind::Network:
        return QStringLiteral("网络");
    case PortKind::Virtual:
    case PortKind::Monitor:
        return QStringLiteral("虚拟");
    case PortKind::Unparsable:
        return QString();
    case PortKind::Default:
    case PortKind::Device:
        break;
    }
    return catalog.Describe(row.target).present ? QStringLiteral("存在") : QStringLiteral("不存在");
}

CPortMapDlg::EntryKind EntryKindOf(PortKind kind)
{
    switch (kind) {
    case PortKind::Virtual:
        return CPortMapDlg::VirtualEntry;
    case PortKind::Monitor:
        return CPortMapDlg::MonitorEntry;
    default:
        return CPortMapDlg::DeviceEntry;
    }
}

QLabel* LabelFor(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

CPortMapDlg::CPortMapDlg(std::string configPath, QWidget* parent)
    : QDialog(parent),
      m_configPath(std::move(configPath)),
      m_map(ReadProfileFile(m_configPath).value_or(ProfileDocument()))
{
    setWindowTitle(QStringLiteral("端口映射"));
    CreateControls();
    for (int row = 0; row < m_table->rowCount(); ++row) {
        ShowRow(row);
    }
    m_table->resizeColumnsToContents();
    ConnectControls();
    m_table->setCurrentCell(0, PortColumn);
    m_table->setFocus();
}

void CPortMapDlg::CreateControls()
{
    m_table = new QTableWidget(static_cast<int>(m_map.Rows().size()), ColumnCount, this);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("端口"), QStringLiteral("对应"), QStringLiteral("类型"), QStringLiteral("设备状态")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->setMinimumSize(620, 320);

    m_kindBox = new QComboBox(this);
    m_kindBox->addItems({QStringLiteral("设备或网络地址"), QStringLiteral("虚拟串口"), QStringLiteral("监视端口")});
    m_deviceBox = new QComboBox(this);
    m_deviceBox->setEditable(true);
    m_deviceBox->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& device : m_catalog.DetectedDevices()) {
        m_deviceBox->addItem(FromGbk(device));
    }
    m_nameEdit = new QLineEdit(this);
    m_setButton = new QPushButton(QStringLiteral("设置(&S)"), this);
    m_clearButton = new QPushButton(QStringLiteral("清除(&C)"), this);
    m_okButton = new QPushButton(QStringLiteral("确定"), this);
    m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
    // Enter in the fields sets the entry; the window closes only by its own buttons or Esc.
    m_setButton->setDefault(true);
    m_okButton->setAutoDefault(false);
    m_cancelButton->setAutoDefault(false);

    auto* fields = new QGridLayout;
    fields->addWidget(LabelFor(QStringLiteral("类型(&K):"), m_kindBox), 0, 0);
    fields->addWidget(m_kindBox, 0, 1);
    fields->addWidget(LabelFor(QStringLiteral("设备(&E):"), m_deviceBox), 1, 0);
    fields->addWidget(m_deviceBox, 1, 1);
    fields->addWidget(LabelFor(QStringLiteral("名称(&N):"), m_nameEdit), 2, 0);
    fields->addWidget(m_nameEdit, 2, 1);
    fields->setColumnStretch(1, 1);
    auto* entryButtons = new QVBoxLayout;
    entryButtons->addWidget(m_setButton);
    entryButtons->addWidget(m_clearButton);
    entryButtons->addStretch();
    auto* entry = new QHBoxLayout;
    entry->addLayout(fields, 1);
    entry->addLayout(entryButtons);
    auto* closing = new QHBoxLayout;
    closing->addStretch();
    closing->addWidget(m_okButton);
    closing->addWidget(m_cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelFor(QStringLiteral("端口(&P):"), m_table));
    layout->addWidget(m_table, 1);
    layout->addLayout(entry);
    layout->addLayout(closing);

    setTabOrder(m_table, m_kindBox);
    setTabOrder(m_kindBox, m_deviceBox);
    setTabOrder(m_deviceBox, m_nameEdit);
    setTabOrder(m_nameEdit, m_setButton);
    setTabOrder(m_setButton, m_clearButton);
    setTabOrder(m_clearButton, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
}

void CPortMapDlg::ConnectControls()
{
    auto* clearSelected = new QAction(m_table);
    clearSelected->setShortcut(QKeySequence::Delete);
    clearSelected->setShortcutContext(Qt::WidgetShortcut);
    m_table->addAction(clearSelected);
    connect(clearSelected, &QAction::triggered, this, &CPortMapDlg::OnClear);
    connect(m_table, &QTableWidget::currentCellChanged, this, &CPortMapDlg::ShowSelectedEntry);
    connect(m_kindBox, &QComboBox::currentIndexChanged, this, &CPortMapDlg::EnableFields);
    connect(m_setButton, &QPushButton::clicked, this, &CPortMapDlg::OnSet);
    connect(m_clearButton, &QPushButton::clicked, this, &CPortMapDlg::OnClear);
    connect(m_okButton, &QPushButton::clicked, this, &CPortMapDlg::OnOk);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void CPortMapDlg::ShowRow(int row)
{
    const PortMapRow& port = m_map.Rows()[static_cast<std::size_t>(row)];
    const QString texts[ColumnCount] = {FromGbk(port.name), TargetText(port), KindText(port.kind),
                                        PresenceText(port, m_catalog)};
    for (int column = 0; column < ColumnCount; ++column) {
        m_table->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
}

// The fields take the selected port's entry, so that it can be changed from there.
void CPortMapDlg::ShowSelectedEntry()
{
    const PortMapRow& port = m_map.Rows()[static_cast<std::size_t>(SelectedNumber() - 1)];
    m_kindBox->setCurrentIndex(EntryKindOf(port.kind));
    const bool keepsEntryText = port.kind == PortKind::Device || port.kind == PortKind::Network ||
                                port.kind == PortKind::Unparsable;
    m_deviceBox->setEditText(keepsEntryText ? FromGbk(port.entry.value_or(std::string())) : FromGbk(port.device));
    m_nameEdit->setText(FromGbk(port.linkName));
    EnableFields();
}

void CPortMapDlg::EnableFields()
{
    const int kind = m_kindBox->currentIndex();
    m_deviceBox->setEnabled(kind != VirtualEntry);
    m_nameEdit->setEnabled(kind != DeviceEntry);
}

std::string CPortMapDlg::EnteredTarget() const
{
    const std::string device = ToGbk(m_deviceBox->currentText());
    const std::string name = ToGbk(m_nameEdit->text());
    switch (m_kindBox->currentIndex()) {
    case VirtualEntry:
        return VirtualTargetText({name, {}});
    case MonitorEntry:
        // Written out here: VirtualTargetText takes a target without a device for a virtual
        // port, and a missing device is for the check to report.
        return "monitor:" + device + "," + name;
    default:
        return device;
    }
}

int CPortMapDlg::SelectedNumber() const { return std::max(m_table->currentRow(), 0) + 1; }

void CPortMapDlg::OnSet()
{
    const int number = SelectedNumber();
    std::string reason;
    if (!m_map.Set(number, EnteredTarget(), reason)) {
        ShowMessage(this, QStringLiteral("COM%1 不能这样设置：%2").arg(number).arg(FromGbk(reason)));
        return;
    }
    ShowRow(number - 1);
}

void CPortMapDlg::OnClear()
{
    const int number = SelectedNumber();
    m_map.Clear(number);
    ShowRow(number - 1);
    ShowSelectedEntry();
}

void CPortMapDlg::OnOk()
{
    if (!m_map.Changed()) {
        accept();
        return;
    }
    std::optional<ProfileDocument> config = ReadProfileFile(m_configPath);
    if (config) {
        m_map.WriteTo(*config);
    }
    if (!config || !WriteProfileFile(m_configPath, *config)) {
        ShowMessage(this, QStringLiteral("不能写入 %1，端口映射没有保存。").arg(FromGbk(m_configPath)));
        return;
    }
    accept();
}
