// Saves the program icon as PNG files in the desktop's icon-theme layout, for packaging.
// Usage: icon-files <output directory>   (writes <dir>/<n>x<n>/apps/serialdebug.png)

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "res/Icons.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: icon-files <output directory>\n");
        return 2;
    }
    bool allSaved = true;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        const QString path = folder + QStringLiteral("/serialdebug.png");
        const bool saved = QDir().mkpath(folder) && ApplicationPixmap(size).save(path);
        std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
        allSaved = allSaved && saved;
    }
    return allSaved ? 0 : 1;
}
