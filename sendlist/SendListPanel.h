#pragma once

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include "controls/ListRows.h"
#include "scheme/Scheme.h"

class CEditableListCtrl;
class QCheckBox;
class QLineEdit;
class SendTarget;

// The side panel of the main window: shows the scheme's send list, rebuilt whenever it changes,
// and sends its entries to its target, one when its row is double-clicked, or each in turn on a
// timer ("自动循环发送"). The row sent last is red.
class CSendListPanel : public QWidget, private SchemeListener {
    Q_OBJECT

public:
    enum Control {
        IDC_CYCLE = 1007,
        IDC_INTERVAL = 1014,
        IDC_LIST = 1032,
        IDC_INTERVAL_LABEL = 1442,
        IDC_MILLISECONDS = 1443,
    };
    enum Timer { TIMER_CYCLIC_SEND = 2001 };

    static constexpr ColorRef kCaptionColor = MakeColorRef(195, 213, 253);
    static constexpr ColorRef kSentColor = MakeColorRef(255, 0, 0);

    CSendListPanel(Scheme& scheme, SendTarget& target, QWidget* parent = nullptr);
    ~CSendListPanel() override;

    // Sets the list up and fills it.
    void OnInitDialog();

    // Rebuilds the rows from the send list, in list order, all in their normal
    // colours. The current row number stays, so a cyclic send goes on after it.
    void RefreshList();

    // Sends the entry of the row after the current one (the first after the last) and paints
    // that row red; false when there is no row to send.
    bool SendNextItem();

    // Turns cyclic send off: clears its box and stops its timer.
    void StopCyclicSend();

    void OnTimer(int timerId);
    void OnSize(int cx, int cy);

    // Data exchange of the interval field: true reads it (a text that is not an unsigned whole
    // number is reported and the interval stays; returns false), false writes it.
    bool UpdateData(bool saveAndValidate = true);

    QWidget* GetDlgItem(int id) const;
    CEditableListCtrl* List() const { return m_list; }
    const QTimer& CyclicTimer() const { return m_cyclicTimer; }
    int CurrentItem() const { return m_nCurItem; }
    unsigned Interval() const { return m_nInterval; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SendListChanged() override { RefreshList(); }
    template <typename Widget>
    Widget* AddControl(int id, Widget* widget, const QRect& geometry);
    void OnCycleClicked();
    void OnListDoubleClicked(QPoint listPos);
    // Sends the row's entry and paints the row red; false when the row has no entry.
    bool SendRow(int row);
    void RestoreNormalColors();
    const SendItem* EntryOfRow(int row) const;

    Scheme& m_scheme;
    SendTarget& m_target;
    int m_nCurItem = -1;
    CEditableListCtrl* m_list;
    QCheckBox* m_btnCycle;
    unsigned m_nInterval = 200;
    QLineEdit* m_intervalEdit;
    QTimer m_cyclicTimer;
    // The entries the rows point to, kept alive until the next rebuild, so a row never points
    // to an entry that left the send list in the meantime.
    SendList m_shownEntries;
};
