#include <QFrame>

#include "tests/app/MainWindowFixture.h"

namespace {

class LayoutTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        WriteConfig("[Setting]\r\nPort=60\r\n");
        Start();
        m_messages.texts.clear();
        QApplication::processEvents();
    }

    QRect Geometry(int id) const { return m_window->GetDlgItem(id)->geometry(); }
    QSize Client() const { return m_window->GetDlgItem(IDC_RECEIVE)->parentWidget()->size(); }

    void ResizeBy(int dw, int dh)
    {
        m_window->resize(m_window->width() + dw, m_window->height() + dh);
        QApplication::processEvents();
    }
};

}  // namespace

TEST_F(LayoutTest, WideningMovesTheLowerControlsAndKeepsTheTopRow)
{
    const QRect receive = Geometry(IDC_RECEIVE);
    const QRect send = Geometry(IDC_SEND);
    const QRect panel = Geometry(IDC_PANEL_FRAME);
    const QRect banner = Geometry(IDC_BANNER);
    const QRect open = Geometry(IDC_OPEN);
    const QRect frame = Geometry(IDC_TOP_FRAME);

    ResizeBy(100, 40);
    EXPECT_EQ(Geometry(IDC_RECEIVE).width(), receive.width() + 100);
    EXPECT_EQ(Geometry(IDC_RECEIVE).height(), receive.height() + 40);
    EXPECT_EQ(Geometry(IDC_SEND).width(), send.width() + 100);
    EXPECT_EQ(Geometry(IDC_SEND).top(), send.top() + 40);
    EXPECT_EQ(Geometry(IDC_PANEL_FRAME).left(), panel.left() + 100);
    EXPECT_EQ(Geometry(IDC_BANNER).width(), banner.width() + 100);
    EXPECT_EQ(Geometry(IDC_AUTO_SEND).top(), Client().height() - 20);
    EXPECT_EQ(Geometry(IDC_MANUAL_SEND).top(), Client().height() - 66);
    EXPECT_EQ(Geometry(IDC_HEX_SEND).top(), Client().height() - 42);
    EXPECT_EQ(Geometry(IDC_OPEN), open);
    EXPECT_EQ(Geometry(IDC_TOP_FRAME), frame) << "only a maximise widens the top frame";
}

TEST_F(LayoutTest, MaximisingWidensTheTopFrameAndRestoringKeepsIt)
{
    m_window->showMaximized();
    QApplication::processEvents();
    if (!m_window->isMaximized()) {
        GTEST_SKIP() << "this display cannot maximise";
    }
    const int maximisedWidth = Client().width();
    EXPECT_EQ(Geometry(IDC_TOP_FRAME).width(), maximisedWidth - 4);
    m_window->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(Geometry(IDC_TOP_FRAME).width(), maximisedWidth - 4);
}

TEST_F(LayoutTest, TheExtendToggleShowsThePanelBesideANarrowerReceiveArea)
{
    Click(IDC_EXTEND);
    EXPECT_TRUE(m_window->GetDlgItem(IDC_PANEL_FRAME)->isVisible());
    EXPECT_EQ(Geometry(IDC_RECEIVE).width(), Client().width() - 244);

    ResizeBy(60, 0);
    EXPECT_EQ(Geometry(IDC_RECEIVE).width(), Client().width() - 244);
    EXPECT_EQ(Geometry(IDC_PANEL_FRAME).width(), 240);
    EXPECT_EQ(Geometry(IDC_PANEL_FRAME).right() + 1, Client().width());

    Click(IDC_EXTEND);
    EXPECT_FALSE(m_window->GetDlgItem(IDC_PANEL_FRAME)->isVisible());
    EXPECT_EQ(Geometry(IDC_RECEIVE).width(), Client().width() - 6);
    ResizeBy(10, 0);
    EXPECT_EQ(Geometry(IDC_RECEIVE).width(), Client().width() - 4);
}

TEST_F(LayoutTest, TopmostKeepsTheWindowInPlace)
{
    const QPoint place = m_window->pos();
    Click(IDC_TOPMOST);
    EXPECT_TRUE(m_window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(m_window->pos(), place);
    Click(IDC_TOPMOST);
    EXPECT_FALSE(m_window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}
