#pragma once

#include <QDialog>

#include "scheme/Scheme.h"
#include "ui/FileDialog.h"

class QHBoxLayout;
class QTableWidget;
class QTimer;

// Asks for a scheme file to open or to save as.
QString AskSchemeFilePath(QWidget* owner, FileDialogKind kind);

// The scheme editor ("编辑方案"): lists the scheme's auto-reply rules and edits them; every
// change takes effect at once, and the list follows every change of the rules, wherever it
// was made.
class CSchemeDlg : public QDialog, private SchemeListener {
    Q_OBJECT

public:
    enum Control { IDC_EXPORT = 1028, IDC_IMPORT = 1029, IDC_ADD = 1025, IDC_DELETE = 1026, IDC_EDIT = 1027, IDC_LIST = 1032 };

    explicit CSchemeDlg(Scheme& scheme, QWidget* parent = nullptr);
    ~CSchemeDlg() override;

    // Adds, after the rules' own columns, how each rule answered while the program runs (times
    // fired, last fired, last, median and longest latency in milliseconds), brought up to date
    // twice a second, and "清零" to start them again. Called before exec.
    void ShowStatistics();

    // Rebuilds every row from the rule list, in list order.
    void RefillList();

    // Shows the rule in a rule dialog; on OK gives the rule the values and returns true.
    bool EditRule(const ProtocolRule* rule);

    QTableWidget* List() const { return m_list; }

    int exec() override;

private:
    void RulesChanged() override;
    void InitList();
    const ProtocolRule* RuleOfRow(int row) const;
    int FirstSelectedRow() const;
    void EditRow(int row);

    void OnAdd();
    void OnDelete();
    void OnEdit();
    void OnExport();
    void OnImport();
    void RefreshStatistics();
    int ColumnCount() const;

    Scheme& m_scheme;
    QTableWidget* m_list;
    QHBoxLayout* m_buttons;
    QTimer* m_statisticsTimer = nullptr;  // while the statistics show
};
