#include "controls/LocaleDate.h"

#include <QDateTime>
#include <QLocale>
#include <QSet>

#include "ui/Gbk.h"

namespace {

const QDate kEpoch(1899, 12, 30);

double Moment(const QDate& date, const QTime& time)
{
    return static_cast<double>(kEpoch.daysTo(date)) + time.msecsSinceStartOfDay() / 86400000.0;
}

// Reads a run of 1 to maxDigits decimal digits at pos.
std::optional<int> ReadNumber(const QString& text, qsizetype& pos, int maxDigits)
{
    int value = 0;
    int digits = 0;
    while (pos < text.size() && digits < maxDigits && text[pos] >= QLatin1Char('0') && text[pos] <= QLatin1Char('9')) {
        value = value * 10 + (text[pos].unicode() - '0');
        ++pos;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

bool ReadSeparator(const QString& text, qsizetype& pos, QChar separator)
{
    if (pos >= text.size() || text[pos] != separator)
        return false;
    ++pos;
    return true;
}

// "H:mm" or "H:mm:ss" from pos to the end.
std::optional<QTime> ReadTime(const QString& text, qsizetype pos)
{
    const std::optional<int> hour = ReadNumber(text, pos, 2);
    if (!hour || !ReadSeparator(text, pos, QLatin1Char(':')))
        return std::nullopt;
    const std::optional<int> minute = ReadNumber(text, pos, 2);
    std::optional<int> second = 0;
    if (minute && ReadSeparator(text, pos, QLatin1Char(':')))
        second = ReadNumber(text, pos, 2);
    if (!minute || !second || pos != text.size())
        return std::nullopt;
    const QTime time(*hour, *minute, *second);
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

// The numeric forms: "yyyy-M-d", "yyyy/M/d" or "yyyy.M.d", each optionally followed by a
// space and a time, or a time alone.
std::optional<double> ParseNumericForm(const QString& text)
{
    if (const std::optional<QTime> time = ReadTime(text, 0))
        return Moment(kEpoch, *time);
    qsizetype pos = 0;
    const std::optional<int> year = ReadNumber(text, pos, 4);
    if (!year || pos != 4 || pos >= text.size())
        return std::nullopt;
    const QChar separator = text[pos];
    if (separator != QLatin1Char('-') && separator != QLatin1Char('/') && separator != QLatin1Char('.'))
        return std::nullopt;
    ++pos;
    const std::optional<int> month = ReadNumber(text, pos, 2);
    if (!month || !ReadSeparator(text, pos, separator))
        return std::nullopt;
    const std::optional<int> day = ReadNumber(text, pos, 2);
    const QDate date = day ? QDate(*year, *month, *day) : QDate();
    if (!date.isValid())
        return std::nullopt;
    if (pos == text.size())
        return Moment(date, QTime(0, 0));
    if (!ReadSeparator(text, pos, QLatin1Char(' ')))
        return std::nullopt;
    const std::optional<QTime> time = ReadTime(text, pos);
    return time ? std::optional<double>(Moment(date, *time)) : std::nullopt;
}

// Month and day names of the user's locale, in lower case.
const QSet<QString>& LocaleNames()
{
    static const QSet<QString> names = [] {
        const QLocale locale = QLocale::system();
        QSet<QString> set;
        for (const QLocale::FormatType format : {QLocale::LongFormat, QLocale::ShortFormat}) {
            for (int month = 1; month <= 12; ++month) {
                set.insert(locale.monthName(month, format).toLower());
                set.insert(locale.standaloneMonthName(month, format).toLower());
            }
            for (int day = 1; day <= 7; ++day)
                set.insert(locale.dayName(day, format).toLower());
        }
        return set;
    }();
    return names;
}

// Every date or time form starts with a number or with a month or day name; anything else
// (most captions) is turned away before the slower parsing.
bool StartsLikeADate(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (text.front().isDigit())
        return true;
    qsizetype length = 0;
    while (length < text.size() && text[length].isLetter())
        ++length;
    return length > 0 && LocaleNames().contains(text.left(length).toLower());
}

std::optional<double> ParseWithLocale(const QString& text, const QLocale& locale)
{
    for (const QLocale::FormatType format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        if (const QDateTime moment = locale.toDateTime(text, format); moment.isValid())
            return Moment(moment.date(), moment.time());
        if (const QDate date = locale.toDate(text, format); date.isValid())
            return Moment(date, QTime(0, 0));
        if (const QTime time = locale.toTime(text, format); time.isValid())
            return Moment(kEpoch, time);
    }
    return std::nullopt;
}

} // namespace

std::optional<double> ParseLocaleDateTime(const std::string& gbkText)
{
    const QString text = FromGbk(gbkText).trimmed();
    if (!StartsLikeADate(text))
        return std::nullopt;
    if (const std::optional<double> moment = ParseNumericForm(text))
        return moment;
    return ParseWithLocale(text, QLocale::system());
}
