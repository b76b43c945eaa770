// Starts the real windows offscreen and saves pictures of them for the README.
// Usage: screenshots <output directory>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/QtTranslations.h"
#include "app/SerialDebugDlg.h"
#include "ui/MessageBox.h"
#include "scheme/SchemeDlg.h"
#include "sendlist/SendListDlg.h"

namespace {

bool Save(QWidget& widget, const QString& directory, const QString& name)
{
    QApplication::processEvents();
    const QString path = QDir(directory).filePath(name);
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
    return saved;
}

// Runs `dialog` modally and saves its picture once it shows.
bool SaveModal(QDialog& dialog, const QString& directory, const QString& name)
{
    bool saved = false;
    QTimer::singleShot(100, &dialog, [&] {
        saved = Save(dialog, directory, name);
        dialog.reject();
    });
    dialog.exec();
    return saved;
}

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
}

QByteArray ExampleScheme()
{
    return "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<XML>\r\n<ProtocolData>\r\n"
           "<Protocol Name=\"\xB6\xC1\xBC\xC4\xB4\xE6\xC6\xF7\">\r\n<Rx IsHex=\"1\">01 03 00 00</Rx>\r\n"
           "<Sx IsHex=\"1\">01 03 02 00 2A 38 4F</Sx>\r\n</Protocol>\r\n"
           "<Protocol Name=\"ping\">\r\n<Rx IsHex=\"0\">PING</Rx>\r\n<Sx IsHex=\"0\">PONG</Sx>\r\n</Protocol>\r\n"
           "</ProtocolData>\r\n<Setting Caption=\"\xB2\xCE\xCA\xFD\xC9\xE8\xD6\xC3\">\r\n"
           "<Interval Caption=\"\xB7\xA2\xCB\xCD\xBC\xE4\xB8\xF4\">200</Interval>\r\n</Setting>\r\n"
           "<SendData Caption=\"\xB7\xA2\xCB\xCD\xC4\xDA\xC8\xDD\">\r\n"
           "<Item Caption=\"\xB6\xC1\xC8\xA1\xCE\xC2\xB6\xC8\" Data=\"01 03 00 00 00 01\" IsHex=\"1\"/>\r\n"
           "<Item Caption=\"\xB8\xB4\xCE\xBB\" Data=\"01 06 00 10 00 01\" IsHex=\"1\"/>\r\n"
           "<Item Caption=\"hello\" Data=\"Hello, device!\" IsHex=\"0\"/>\r\n"
           "</SendData>\r\n</XML>\r\n";
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    InstallQtChineseTexts();
    if (argc < 2) {
        std::fprintf(stderr, "usage: screenshots <output directory>\n");
        return 2;
    }
    const QString output = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(output);
    SetMessageBoxHandler([](QWidget*, const QString&, MessageButtons, const QString&) { return QMessageBox::Ok; });

    int master = -1;
    int slave = -1;
    char slaveName[128];
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "openpty failed\n");
        return 1;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    QTemporaryDir directory;
    WriteFile(directory.filePath(QStringLiteral("Default.pol")), ExampleScheme());
    const QByteArray ports = QByteArray("[Ports]\r\nCOM3=") + slaveName + "\r\n";
    bool ok = true;
    {
        WriteFile(directory.filePath(QStringLiteral("Config.ini")), "[Setting]\r\nPort=0\r\n" + ports);
        CSerialDebugDlg window(directory.path().toStdString());
        window.OnInitDialog();
        window.show();
        ok = Save(window, output, QStringLiteral("main-closed.png")) && ok;
        window.close();
    }
    {
        WriteFile(directory.filePath(QStringLiteral("Config.ini")),
                  "[Setting]\r\nPort=2\r\nBordRate=115200,n,8,1\r\nAutoRecive=1\r\nInterVal=1000\r\nHexSend=1\r\n"
                  "SendData=01 03 00 00 00 01\r\n" +
                      ports);
        CSerialDebugDlg window(directory.path().toStdString());
        window.OnInitDialog();
        window.show();
        const char reply[] = "\xCE\xC2\xB6\xC8 23.5 C\r\nHumidity 41 %\r\nPING";
        if (write(master, reply, sizeof reply - 1) < 0) {
            ok = false;
        }
        QTest::qWait(200);
        window.RefreshReceiveView();
        ok = Save(window, output, QStringLiteral("main-open.png")) && ok;

        CSchemeDlg editor(window.GetScheme(), &window);
        ok = SaveModal(editor, output, QStringLiteral("scheme-editor.png")) && ok;

        CSendListDlg sendList(window.GetScheme(), &window);
        ok = SaveModal(sendList, output, QStringLiteral("send-list-dialog.png")) && ok;

        window.resize(window.width() + 160, window.height());
        QTest::mouseClick(window.GetDlgItem(IDC_EXTEND), Qt::LeftButton);
        ok = Save(window, output, QStringLiteral("main-extended.png")) && ok;

        // "保存数据...": the file dialog, in the folder the program runs in.
        QDir::setCurrent(directory.path());
        QDir(directory.path()).mkdir(QStringLiteral("记录"));
        WriteFile(directory.filePath(QStringLiteral("温度.txt")), "23.5 C\r\n");
        bool fileDialogSaved = false;
        QTimer::singleShot(500, &window, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                fileDialogSaved = Save(*dialog, output, QStringLiteral("save-dialog.png"));
                dialog->reject();
            }
        });
        window.MenuCommand(ID_FILE_SAVE)->trigger();
        ok = fileDialogSaved && ok;
        window.close();
    }
    close(slave);
    close(master);
    return ok ? 0 : 1;
}
