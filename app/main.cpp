#include <QApplication>
#include <QFont>

#include "app/SerialDebugApp.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("串口调试"));
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);
    CSerialDebugApp app;
    app.InitInstance();
    return 0;
}
