#pragma once

#include <QHeaderView>
#include <QLabel>

#include "controls/EditableListCtrl.h"
#include "sendlist/SendListPanel.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/PseudoTerminal.h"

// A started main window whose COM3 is a pseudo-terminal, open, with "扩展" pressed so the
// side panel shows.
class SendListTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        WriteConfigWithCom3(m_device);
        Start();
        ASSERT_TRUE(m_window->IsPortOpen());
        Click(IDC_EXTEND);
        ASSERT_TRUE(Panel()->isVisible());
    }

    CSendListPanel* Panel() const { return m_window->SendListPanel(); }
    CEditableListCtrl* PanelList() const { return Panel()->List(); }
    QCheckBox* CycleBox() const { return qobject_cast<QCheckBox*>(Panel()->GetDlgItem(CSendListPanel::IDC_CYCLE)); }
    QLineEdit* IntervalEdit() const
    {
        return qobject_cast<QLineEdit*>(Panel()->GetDlgItem(CSendListPanel::IDC_INTERVAL));
    }

    std::shared_ptr<SendItem> AddEntry(const std::string& caption, const std::string& data, std::int32_t isHex = 0)
    {
        auto entry = std::make_shared<SendItem>(SendItem{isHex, caption, data});
        m_window->GetScheme().AddSendItem(entry);
        return entry;
    }

    // Three text entries "a", "b", "c" with the data "A1", "B2", "C3", shown in the panel.
    void AddThreeEntries()
    {
        AddEntry("a", "A1");
        AddEntry("b", "B2");
        AddEntry("c", "C3");
        Panel()->RefreshList();
    }

    // Clicks "自动循环发送" with this interval typed first.
    void ClickCycle(const QString& interval)
    {
        IntervalEdit()->setText(interval);
        ClickCycle();
    }
    void ClickCycle() const { QTest::mouseClick(CycleBox(), Qt::LeftButton); }

    // One tick of the cyclic-send timer, without waiting for it.
    void Tick() const { Panel()->OnTimer(CSendListPanel::TIMER_CYCLIC_SEND); }

    bool Cycling() const { return CycleBox()->isChecked() && Panel()->CyclicTimer().isActive(); }
    bool Stopped() const { return !CycleBox()->isChecked() && !Panel()->CyclicTimer().isActive(); }

    QPoint Cell(CEditableListCtrl* list, int row, int column) const
    {
        return list->visualRect(list->model()->index(row, column)).center();
    }

    // What the window system delivers for a double-click: press, release, double-click, release.
    void DoubleClick(CEditableListCtrl* list, int row, int column) const
    {
        const QPoint pos = Cell(list, row, column);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    }

    void ClickHeader(CEditableListCtrl* list, int column) const
    {
        QHeaderView* header = list->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
    }

    std::vector<ColorRef> Colors(int row) const { return PanelList()->GetRowRecord(row)->BkColors; }
    std::vector<ColorRef> NormalColors() const { return {CSendListPanel::kCaptionColor, kWindowColor}; }
    std::vector<ColorRef> SentColors() const { return {CSendListPanel::kSentColor, CSendListPanel::kSentColor}; }

    // Reads the device side up to a marker sent now, so nothing sent before is left there.
    void DrainDevice()
    {
        m_window->SendString("#", 0);
        std::string received;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                received += m_device.ReadAvailable();
                return received.find('#') != std::string::npos;
            },
            5000));
    }

    PseudoTerminal m_device;
};
