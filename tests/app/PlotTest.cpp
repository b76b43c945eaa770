// "波形显示" on a pseudo-terminal: text lines and binary frames become curves, pause holds the
// view, the curves export as CSV and the view as a picture.
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QSpinBox>

#include "app/PlotDlg.h"
#include "app/PlotView.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/ManualClock.h"
#include "ui/FileDialog.h"

using namespace std::string_literals;

namespace {

class PlotTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        WriteConfigWithCom3(m_device);
        Start();
        ASSERT_TRUE(m_window->IsPortOpen());
        m_plot = std::make_unique<CPlotDlg>(m_window->Session(), m_window.get());
        m_plot->show();
    }
    void TearDown() override { SetFileDialogHandler({}); }

    void Receive(const std::string& bytes)
    {
        const int before = m_window->ReceiveCounter();
        m_device.Write(bytes);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_window->ReceiveCounter() >= before + static_cast<int>(bytes.size()); }, 5000));
    }

    // Waits until the window holds `samples` and counted `bad` lines, and shows them.
    void ExpectCounts(std::size_t samples, std::uint64_t bad)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_plot->Store().Size() == samples && m_plot->BadLines() == bad; }))
            << m_plot->Store().Size() << " samples, " << m_plot->BadLines() << " bad";
        m_plot->Refresh();
        EXPECT_EQ(m_plot->StatusLabel()->text(), QStringLiteral("样本 %1，坏行 %2").arg(samples).arg(bad));
    }

    void AnswerFileDialogWith(const QString& path)
    {
        SetFileDialogHandler([path](QWidget*, const FileDialogRequest&) { return path; });
    }

    // The exported CSV: its header, then each line without its time.
    std::vector<std::string> ExportedValues()
    {
        const QString path = m_dir.filePath(QStringLiteral("plot.csv"));
        AnswerFileDialogWith(path);
        m_plot->OnExportCsv();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        std::vector<std::string> values{lines.value(0).trimmed().toStdString()};
        for (qsizetype i = 1; i < lines.size() && !lines[i].isEmpty(); ++i) {
            values.push_back(lines[i].trimmed().mid(lines[i].indexOf(',') + 1).toStdString());
        }
        return values;
    }

    void MoveMouseTo(int x)
    {
        PlotView* view = m_plot->View();
        const QPointF at(x, view->height() / 2);
        QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    }

    PseudoTerminal m_device;
    std::unique_ptr<CPlotDlg> m_plot;
};

}  // namespace

TEST_F(PlotTest, TextLinesBecomeNamedCurvesAndBadLinesAreCounted)
{
    const struct { std::string sent; std::vector<std::string> csv; std::uint64_t bad; } cases[] = {
        {"T=1.5,H=2\r\nT=2.5,H=-3\nT=oops,H=1\n", {"time,T,H", "1.5,2", "2.5,-3"}, 1},
        {"1;2;3\n4\t5 6\n\n", {"time,1,2,3", "1,2,3", "4,5,6"}, 0},
        {"temp: 21\ntemp:-0.125\nnot a number\n", {"time,temp", "21", "-0.125"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        m_plot->OnClear();
        Receive(c.sent);
        ExpectCounts(c.csv.size() - 1, c.bad);
        EXPECT_EQ(ExportedValues(), c.csv);
    }
}

TEST_F(PlotTest, BinaryFramesGiveTheFieldOfEachFrameAndShortFramesAreBad)
{
    using Type = BinaryField::Type;
    const struct { Type type; bool bigEndian; std::vector<std::string> frames, csv; std::uint64_t bad; } cases[] = {
        {Type::Int16, true, {"\xAA\x55\x01\x02"s, "\x00\x00\xFF\xFE\x09"s, "\x01"s}, {"time,int16@2", "258", "-2"}, 1},
        {Type::Uint16, false, {"\xAA\x55\x01\x02"s, "\x00\x00\xFF\xFE"s}, {"time,uint16@2", "513", "65279"}, 0},
        {Type::Float32, true, {"\x00\x00\x3F\xC0\x00\x00"s, "\x00\x00\xC1\x20\x00"s}, {"time,float32@2", "1.5"}, 1},
    };
    m_plot->SourceBox()->setCurrentIndex(CPlotDlg::BinaryFrames);
    m_plot->OffsetBox()->setValue(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.csv[0]);
        m_plot->TypeBox()->setCurrentIndex(static_cast<int>(c.type));
        m_plot->OrderBox()->setCurrentIndex(c.bigEndian ? 0 : 1);
        for (const std::string& frame : c.frames) {
            Receive(frame);
            QTest::qWait(4 * m_window->Session().Area().Options().frameGapMs);  // the next frame begins after a gap
        }
        ExpectCounts(c.csv.size() - 1, c.bad);
        EXPECT_EQ(ExportedValues(), c.csv);
    }
}

TEST_F(PlotTest, PauseHoldsTheViewWhileTheStoreGrows)
{
    Receive("1,2\n3,4\n");
    ExpectCounts(2, 0);
    m_plot->PauseBox()->setChecked(true);
    const QImage held = m_plot->View()->grab().toImage();
    const double end = m_plot->View()->EndSeconds();

    Receive("50,60\n70,80\n");
    ExpectCounts(4, 0);
    EXPECT_EQ(m_plot->View()->EndSeconds(), end);
    EXPECT_EQ(m_plot->View()->grab().toImage(), held);

    m_plot->PauseBox()->setChecked(false);
    EXPECT_GT(m_plot->View()->EndSeconds(), end);
    EXPECT_NE(m_plot->View()->grab().toImage(), held);
}

TEST_F(PlotTest, AClosedWindowTakesNothingUntilShownAgain)
{
    m_plot->close();
    Receive("1\n2\n");
    m_plot->show();
    Receive("3\n");
    ExpectCounts(1, 0);
    EXPECT_EQ(ExportedValues(), (std::vector<std::string>{"time,1", "3"}));
}

TEST_F(PlotTest, TheMouseShowsTheValuesOfTheNearestSample)
{
    ManualClock clock;
    m_window->UseClock(clock);
    Receive("A=1,B=2\n");
    clock.Advance(std::chrono::seconds(5));  // half the window
    Receive("A=3,B=4.25\n");
    ExpectCounts(2, 0);
    MoveMouseTo(m_plot->View()->width() - 30);
    EXPECT_EQ(m_plot->View()->HoverLines().mid(1), (QStringList{QStringLiteral("A: 3"), QStringLiteral("B: 4.25")}));
    MoveMouseTo(m_plot->View()->width() / 5);  // before the first sample: still the nearest
    EXPECT_EQ(m_plot->View()->HoverLines().mid(1), (QStringList{QStringLiteral("A: 1"), QStringLiteral("B: 2")}));
}

TEST_F(PlotTest, ExportsWriteTheirFileOrSayOnceWhyNot)
{
    Receive("1,2\n3,4\n");
    ExpectCounts(2, 0);
    const QString missingFolder = m_dir.filePath(QStringLiteral("missing/"));
    for (const QString& folder : {m_dir.path() + QLatin1Char('/'), missingFolder}) {
        m_messages.texts.clear();
        AnswerFileDialogWith(folder + QStringLiteral("plot.png"));
        m_plot->OnExportPicture();
        AnswerFileDialogWith(folder + QStringLiteral("plot.csv"));
        m_plot->OnExportCsv();
        const QImage picture(folder + QStringLiteral("plot.png"));
        const bool fails = folder == missingFolder;
        EXPECT_EQ(picture.size(), fails ? QSize(0, 0) : m_plot->View()->size());
        EXPECT_EQ(QFile::exists(folder + QStringLiteral("plot.csv")), !fails);
        EXPECT_EQ(m_messages.texts.size(), fails ? 2 : 0);  // one for each export
    }
}

TEST_F(PlotTest, AFixedRangeNeedsItsMinimumBelowItsMaximum)
{
    const struct { const char* minimum; const char* maximum; bool refused; } cases[] = {
        {"5", "1", true}, {"2", "2", true}, {"x", "1", true}, {"-1.5", "10", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minimum);
        m_messages.texts.clear();
        m_plot->AutoScaleBox()->setChecked(true);
        m_plot->MinimumEdit()->setText(QString::fromLatin1(c.minimum));
        m_plot->MaximumEdit()->setText(QString::fromLatin1(c.maximum));
        m_plot->AutoScaleBox()->setChecked(false);
        EXPECT_EQ(m_messages.texts.size(), c.refused ? 1 : 0);
        EXPECT_EQ(m_plot->AutoScaleBox()->isChecked(), c.refused);
    }
}
