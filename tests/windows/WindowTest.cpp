// The main window on a COM port under Wine, with tests/windows/far_side.py playing the device:
// a flood counted byte for byte, and an auto-reply rule answering the device.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "app/SerialDebugDlg.h"
#include "tests/support/MessageRecorder.h"
#include "tests/windows/FarSide.h"

using namespace far_side;

namespace {

class WindowOnComPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (port.empty() || farSidePort.empty()) {
            GTEST_SKIP() << "SERIALDEBUG_TEST_COM and SERIALDEBUG_FAR_SIDE_PORT are unset "
                            "(scripts/windows/test.sh sets them)";
        }
        farSide = std::make_unique<FarSide>(std::stoi(farSidePort));
        ASSERT_TRUE(farSide->Connected());
        farSide->Read(65536, 50ms);
        QFile config(m_dir.filePath(QStringLiteral("Config.ini")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[Setting]\r\nPort=" + QByteArray::number(std::stoi(port.substr(3)) - 1) + "\r\nAutoRecive=1\r\n");
        config.close();
        m_window = std::make_unique<CSerialDebugDlg>(m_dir.path().toStdString());
        m_window->OnInitDialog();
        m_window->show();
        ASSERT_TRUE(m_window->IsPortOpen()) << m_messages.texts.join(QStringLiteral("; ")).toStdString();
    }

    void TearDown() override
    {
        if (m_window) {
            m_window->close();
            m_window.reset();
        }
    }

    const std::string port = Environment("SERIALDEBUG_TEST_COM");
    const std::string farSidePort = Environment("SERIALDEBUG_FAR_SIDE_PORT");
    std::unique_ptr<FarSide> farSide;
    QTemporaryDir m_dir;
    MessageRecorder m_messages;
    std::unique_ptr<CSerialDebugDlg> m_window;
};

TEST_F(WindowOnComPort, AFloodFromTheDeviceIsCountedByteForByte)
{
    constexpr int kFlood = 200000;
    constexpr std::size_t kPiece = 4096;
    std::thread device([&] {
        const std::string piece(kPiece, 'f');
        for (std::size_t sent = 0; sent < kFlood; sent += kPiece) {
            if (!farSide->Write(piece.substr(0, std::min<std::size_t>(kPiece, kFlood - sent)))) {
                break;
            }
        }
    });
    const bool counted = QTest::qWaitFor([&] { return m_window->ReceiveCounter() == kFlood; }, 60000);
    device.join();
    EXPECT_TRUE(counted) << m_window->ReceiveCounter() << " of " << kFlood;
}

TEST_F(WindowOnComPort, AnAutoReplyRuleAnswersTheDevice)
{
    m_window->GetScheme().AddRule({"Q", "01 03", "AA BB", 1, 1});
    ASSERT_TRUE(farSide->Write("\x01\x03"));
    std::string answer;
    (void)QTest::qWaitFor(
        [&] {
            answer += farSide->Read(2 - answer.size(), 100ms);
            return answer.size() >= 2;
        },
        10000);
    EXPECT_EQ(answer, "\xAA\xBB");
    EXPECT_EQ(m_window->ReceiveCounter(), 2);
}

}  // namespace
