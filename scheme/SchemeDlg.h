#pragma once

#include <QDialog>

#include "app/FileDialog.h"
#include "scheme/SchemeModel.h"

class CSerialDebugDlg;
class QTableWidget;

// Asks for a scheme file to open or to save as.
QString AskSchemeFilePath(QWidget* owner, FileDialogKind kind);

// The scheme editor ("编辑方案"): lists the main window's auto-reply rules and edits them in
// place; every change takes effect at once.
class CSchemeDlg : public QDialog {
    Q_OBJECT

public:
    enum Control { IDC_EXPORT = 1028, IDC_IMPORT = 1029, IDC_ADD = 1025, IDC_DELETE = 1026, IDC_EDIT = 1027, IDC_LIST = 1032 };

    explicit CSchemeDlg(QWidget* parent = nullptr);

    // Rebuilds every row from the rule list, in list order.
    void RefillList();

    // Shows the rule in a rule dialog; on OK copies the values back and returns true.
    bool EditRule(ProtocolRule* rule);

    // Takes this very rule out of the rule list; false when it is not there.
    bool RemoveRule(const ProtocolRule* rule);

    QTableWidget* List() const { return m_list; }

    CSerialDebugDlg* m_pMainDlg = nullptr;

    int exec() override;

private:
    void InitList();
    ProtocolRule* RuleOfRow(int row) const;
    int FirstSelectedRow() const;
    void EditRow(int row);

    void OnAdd();
    void OnDelete();
    void OnEdit();
    void OnExport();
    void OnImport();

    QTableWidget* m_list;
};
