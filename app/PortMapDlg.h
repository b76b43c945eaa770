#pragma once

#include <QDialog>
#include <string>

#include "app/PortMap.h"
#include "platform/DeviceInfo.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

// "端口映射": COM1 to COM50 with what each opens, its kind and whether its device is there. The
// selected port's entry is set from the fields below the list (a device path or network
// address, a virtual port's name, or a monitored device and the name it is passed on by) or
// cleared; "确定" writes the entries that changed into [Ports] of Config.ini, "取消" leaves
// the file alone.
class CPortMapDlg : public QDialog {
    Q_OBJECT

public:
    // The kinds of entry the fields make, in the order of the kind list.
    enum EntryKind { DeviceEntry, VirtualEntry, MonitorEntry };

    CPortMapDlg(std::string configPath, QWidget* parent);

    // The entries as the window holds them now.
    const PortMap& Map() const { return m_map; }

private:
    void CreateControls();
    void ConnectControls();
    void ShowRow(int row);
    void ShowSelectedEntry();
    void EnableFields();
    std::string EnteredTarget() const;
    int SelectedNumber() const;
    void OnSet();
    void OnClear();
    void OnOk();

    std::string m_configPath;
    DeviceCatalog m_catalog;
    PortMap m_map;
    QTableWidget* m_table = nullptr;
    QComboBox* m_kindBox = nullptr;
    QComboBox* m_deviceBox = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QPushButton* m_setButton = nullptr;
    QPushButton* m_clearButton = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};
