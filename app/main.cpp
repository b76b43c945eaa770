#include <QApplication>
#include <QFont>
#include <iostream>

#include "app/CommandLine.h"
#include "app/PortListing.h"
#include "app/QtTranslations.h"
#include "app/SerialDebugApp.h"
#include "app/SettingsFolder.h"
#include "platform/ProgramDir.h"

namespace {

// Options that only print run before the application object exists, so they need no display.
int RunPrintingOption(const CommandLineOptions& options)
{
    if (options.help) {
        std::cout << CommandLine::HelpText();
    } else if (options.version) {
        std::cout << CommandLine::VersionText() << '\n';
    } else {
        const std::string programDirectory = ProgramDirectory();
        std::string folder =
            ChooseSettingsFolder(programDirectory, SettingsEnvironment::OfThisProcess(), options.configDir);
        PrintPortList(std::cout, (folder.empty() ? programDirectory : folder) + "/Config.ini");
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    const CommandLine commandLine(argc, argv);
    if (!commandLine.IsValid()) {
        std::cerr << "serialdebug: " << commandLine.Error() << "\nTry 'serialdebug --help' for more information.\n";
        return CommandLine::kUsageError;
    }
    const CommandLineOptions& options = commandLine.Options();
    if (options.help || options.version || options.listPorts) {
        return RunPrintingOption(options);
    }

    // The arguments are the program's own; Qt is given none of them.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    // No application display name: the platform would append it to every title, so a window
    // would not show exactly its own title.
    QApplication::setDesktopFileName(QStringLiteral("serialdebug"));
    if (!InstallQtChineseTexts()) {
        std::cerr << "serialdebug: Qt's Chinese translations are not installed (qt6-translations-l10n); "
                     "standard buttons stay in English\n";
    }
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);
    CSerialDebugApp app(options);
    app.InitInstance();
    return 0;
}
