#pragma once

#include <QDialog>

#include "scheme/Scheme.h"

class CEditableListCtrl;
class QPushButton;

// The send-list editor ("多报文发送配置"): one row per entry of the scheme's send list,
// caption and data edited in place, the check box saying the data is hex text. Add and Delete
// change the send list at once; the edited texts and flags reach the entries only at OK.
class CSendListDlg : public QDialog {
    Q_OBJECT

public:
    enum Control { IDOK = 1, IDCANCEL = 2, IDC_ADD = 3, IDC_DELETE = 4, IDC_LIST = 1032 };

    explicit CSendListDlg(Scheme& scheme, QWidget* parent = nullptr);

    // Fills the list from the send list and runs the dialog.
    int exec() override;

    QPushButton* Button(int id) const;
    CEditableListCtrl* List() const { return m_list; }

public slots:
    void accept() override;

private:
    void OnInitDialog();
    void AppendRow(const std::shared_ptr<SendItem>& entry, const QString& caption);
    const SendItem* EntryOfRow(int row) const;

    void OnAdd();
    void OnDelete();
    void OnCheckChanged(int row);

    Scheme& m_scheme;
    CEditableListCtrl* m_list;
    // The entries of the rows: a row never points to a freed entry. A deleted row's entry is
    // let go, so it lives on only where another window still shows it.
    SendList m_rowEntries;
};
