#include <QDialogButtonBox>
#include <QAbstractProxyModel>
#include <QDir>
#include <QTemporaryDir>
#include <QTreeView>
#include <map>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "ui/FileDialog.h"
#include "app/QtTranslations.h"
#include "app/SerialDebugApp.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/ModalDriver.h"

namespace {

QStringList ButtonTexts(const QDialogButtonBox* box)
{
    QStringList texts;
    for (const QAbstractButton* button : box->buttons()) {
        texts.append(button->text());
    }
    return texts;
}

TEST(QtChineseTextsTest, StandardButtonsReadInChinese)
{
    ASSERT_TRUE(InstallQtChineseTexts());
    QMessageBox box(QMessageBox::Information, QStringLiteral("串口调试"), QStringLiteral("文本"), QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("是")));
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("否")));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
}

using DesktopWindowTest = MainWindowTest;

// The save-data command asks about an existing file itself; the file dialog, Qt's own and in
// Chinese, must not ask first.
TEST_F(DesktopWindowTest, SavingOverAnExistingFileIsQuestionedOnceInChinese)
{
    ASSERT_TRUE(InstallQtChineseTexts());
    Start();
    const QString path = m_dir.filePath(QStringLiteral("saved.txt"));
    QFile existing(path);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep");
    existing.close();
    m_messages.texts.clear();

    bool dontConfirm = false;
    bool ownDialog = false;
    QStringList buttons;
    int questionsFromTheDialog = 0;
    WhenDialogOpens<QFileDialog>([&](QFileDialog* dialog) {
        dontConfirm = dialog->testOption(QFileDialog::DontConfirmOverwrite);
        ownDialog = dialog->testOption(QFileDialog::DontUseNativeDialog);
        buttons = ButtonTexts(dialog->findChild<QDialogButtonBox*>());
        // A question of the dialog's own would open over it; answer it so the test goes on.
        WhenDialogOpens<QMessageBox>([&](QMessageBox* question) {
            ++questionsFromTheDialog;
            for (QAbstractButton* button : question->buttons()) {
                if (question->buttonRole(button) == QMessageBox::YesRole) {
                    button->click();
                }
            }
        });
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();
    });
    m_messages.Answer(QMessageBox::No);
    m_window->MenuCommand(ID_FILE_SAVE)->trigger();

    EXPECT_TRUE(dontConfirm);
    EXPECT_TRUE(ownDialog);
    EXPECT_TRUE(buttons.contains(QStringLiteral("取消"))) << buttons.join(',').toStdString();
    EXPECT_EQ(questionsFromTheDialog, 0);
    EXPECT_EQ(m_messages.texts, QStringList{QStringLiteral("文件已经存在。要覆盖吗？")});
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("keep"));
}

// The file list reads in Chinese, whatever the system's language: type names, sizes and dates.
TEST(FileDialogTexts, TheFileListShowsTypesSizesAndDatesInChinese)
{
    ASSERT_TRUE(InstallQtChineseTexts());
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    QFile file(folder.filePath(QStringLiteral("data.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.flush();
    ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2024, 1, 15), QTime(12, 34)), QFileDevice::FileModificationTime));
    file.close();

    std::map<QString, QStringList> rows;
    WhenDialogOpens<QFileDialog>([&](QFileDialog* dialog) {
        const QAbstractItemModel* list = dialog->proxyModel();
        const QModelIndex root = dialog->findChild<QTreeView*>()->rootIndex();
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->rowCount(root) == 2; }, 5000));
        for (int row = 0; row < list->rowCount(root); ++row) {
            QStringList& texts = rows[list->index(row, 0, root).data().toString()];
            for (int column = 1; column < list->columnCount(root); ++column) {
                texts << list->index(row, column, root).data().toString();
            }
        }
        dialog->reject();
    });
    AskFilePath(nullptr, {FileDialogKind::Save, QStringLiteral("所有文件(*)"), QString(), false,
                          folder.filePath(QStringLiteral("new.txt"))});
    EXPECT_EQ(rows[QStringLiteral("sub")].value(1), QStringLiteral("文件夹"));
    EXPECT_EQ(rows[QStringLiteral("data.txt")].value(0), QStringLiteral("1 字节"));
    EXPECT_EQ(rows[QStringLiteral("data.txt")].value(1), QStringLiteral("纯文本文档"));
    EXPECT_EQ(rows[QStringLiteral("data.txt")].value(2), QStringLiteral("2024/1/15 12:34"));
}

TEST_F(DesktopWindowTest, AStartPortIsOpenedInsteadOfTheSavedOne)
{
    PseudoTerminal device;
    WriteConfig("[Setting]\r\nPort=0\r\n" + PortsSection(3, device.SlavePath()));
    m_window = std::make_unique<CSerialDebugDlg>(Dir());
    m_window->SetStartPort(3);
    m_window->OnInitDialog();
    m_window->show();
    EXPECT_TRUE(m_messages.texts.isEmpty()) << m_messages.texts.join('|').toStdString();
    EXPECT_TRUE(m_window->IsPortOpen());
    EXPECT_EQ(Control<QComboBox>(IDC_PORT)->currentText(), QStringLiteral("COM3"));
    CloseWindow();
    EXPECT_TRUE(ReadConfig().contains("Port=2\r\n"));
}

// Runs the application object with `options` and closes its window as soon as it shows.
void RunApplication(const CommandLineOptions& options)
{
    WhenDialogOpens<CSerialDebugDlg>([](CSerialDebugDlg* window) { window->close(); });
    CSerialDebugApp app(options);
    EXPECT_FALSE(app.InitInstance());
}

TEST_F(DesktopWindowTest, TheApplicationKeepsItsFilesInTheChosenFolder)
{
    CommandLineOptions options;
    options.configDir = Dir() + "/设置";
    RunApplication(options);
    ASSERT_EQ(m_messages.texts.size(), 1);
    EXPECT_TRUE(m_messages.texts[0].startsWith(QStringLiteral("不能打开串口！\n")));
    EXPECT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("设置/Config.ini"))));
    EXPECT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("设置/Default.pol"))));
}

TEST_F(DesktopWindowTest, ACaptureAskedForOnTheCommandLineRecordsFromTheStart)
{
    PseudoTerminal device;
    WriteConfig("[Setting]\r\nPort=2\r\n" + PortsSection(3, device.SlavePath()));
    CommandLineOptions options;
    options.configDir = Dir();
    options.capture = Dir() + "/unattended.log";
    WhenDialogOpens<CSerialDebugDlg>([&device](CSerialDebugDlg* window) {
        device.Write("boot messages");
        EXPECT_TRUE(QTest::qWaitFor([window] { return window->ReceiveCounter() == 13; }, 5000));
        window->close();
    });
    CSerialDebugApp app(options);
    app.InitInstance();
    QFile capture(QString::fromStdString(*options.capture));
    ASSERT_TRUE(capture.open(QIODevice::ReadOnly));
    EXPECT_EQ(capture.readAll(), QByteArray("boot messages"));
}

TEST_F(DesktopWindowTest, AnUnusableSettingsFolderIsReportedOnceAndTheWindowRunsWithDefaults)
{
    WriteConfig("[Setting]\r\nPort=60\r\n");
    CommandLineOptions options;
    options.configDir = ConfigPath().toStdString();
    RunApplication(options);
    ASSERT_EQ(m_messages.texts.size(), 2);
    EXPECT_EQ(m_messages.texts[0], QStringLiteral("设置文件夹“%1”不是文件夹。本次使用默认设置，设置不会被保存。").arg(ConfigPath()));
    EXPECT_TRUE(m_messages.texts[1].startsWith(QStringLiteral("不能打开串口！\n")));
    EXPECT_EQ(ReadConfig(), QByteArray("[Setting]\r\nPort=60\r\n"));
}

}  // namespace
