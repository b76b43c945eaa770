#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>

namespace {

// The words of the file dialog's type column that Qt's Chinese translations lack.
class MissingChineseTexts : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (std::strcmp(context, "QAbstractFileIconProvider") != 0) {
            return QString();
        }
        static const std::pair<const char*, const char*> kTexts[] = {
            {"Folder", "文件夹"}, {"File Folder", "文件夹"}, {"Drive", "驱动器"},
            {"Alias", "替身"},   {"Shortcut", "快捷方式"},  {"Unknown", "未知"},
        };
        for (const auto& [english, chinese] : kTexts) {
            if (std::strcmp(sourceText, english) == 0) {
                return QString::fromUtf8(chinese);
            }
        }
        return QString();
    }

    bool isEmpty() const override { return false; }
};

}  // namespace

bool InstallQtChineseTexts()
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    // Installed first, so asked last: Qt's own translations answer whatever they hold.
    QCoreApplication::installTranslator(new MissingChineseTexts(QCoreApplication::instance()));
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
