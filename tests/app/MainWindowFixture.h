#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "app/SerialDebugDlg.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/PseudoTerminal.h"

// A main window started in a fresh program directory, with its message boxes recorded.
class MainWindowTest : public ::testing::Test {
protected:
    std::string Dir() const { return m_dir.path().toStdString(); }
    QString ConfigPath() const { return m_dir.filePath(QStringLiteral("Config.ini")); }

    void WriteConfig(const QByteArray& content) const
    {
        QFile file(ConfigPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray ReadConfig() const
    {
        QFile file(ConfigPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A [Ports] section that maps COM`comNumber` to `device`.
    static QByteArray PortsSection(int comNumber, const std::string& device)
    {
        return QByteArray("[Ports]\r\nCOM") + QByteArray::number(comNumber) + "=" + QByteArray::fromStdString(device) +
               "\r\n";
    }

    // A Config.ini that opens COM3, the pseudo-terminal `device`, at start; `moreSettings` are
    // further lines of [Setting].
    void WriteConfigWithCom3(const PseudoTerminal& device, const QByteArray& moreSettings = {}) const
    {
        WriteConfig("[Setting]\r\nPort=2\r\n" + moreSettings + PortsSection(3, device.SlavePath()));
    }

    CSerialDebugDlg& Start()
    {
        m_window = std::make_unique<CSerialDebugDlg>(Dir());
        m_window->OnInitDialog();
        m_window->show();
        return *m_window;
    }

    void CloseWindow()
    {
        m_window->close();
        m_window.reset();
    }

    template <typename Widget>
    Widget* Control(int id) const
    {
        return qobject_cast<Widget*>(m_window->GetDlgItem(id));
    }

    void Click(int id) const { QTest::mouseClick(m_window->GetDlgItem(id), Qt::LeftButton); }

    void PickPort(int index) const
    {
        auto* list = Control<QComboBox>(IDC_PORT);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    // The bytes that reached the device side, waiting until there are at least `count`.
    static std::string DeviceReceives(const PseudoTerminal& device, std::size_t count)
    {
        std::string received;
        const bool complete = QTest::qWaitFor(
            [&] {
                received += device.ReadAvailable();
                return received.size() >= count;
            },
            5000);
        EXPECT_TRUE(complete) << received.size() << " of " << count << " bytes";
        return received;
    }

    QTemporaryDir m_dir;
    MessageRecorder m_messages;
    std::unique_ptr<CSerialDebugDlg> m_window;
};
