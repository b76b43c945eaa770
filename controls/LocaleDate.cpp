#include "controls/LocaleDate.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <algorithm>

#include "app/Gbk.h"

namespace {

const QDate kEpoch(1899, 12, 30);

double Moment(const QDate& date, const QTime& time)
{
    return static_cast<double>(kEpoch.daysTo(date)) + time.msecsSinceStartOfDay() / 86400000.0;
}

const QStringList& NumericDateTimeFormats()
{
    static const QStringList formats = [] {
        QStringList list;
        for (const QString& date : {QStringLiteral("yyyy-M-d"), QStringLiteral("yyyy/M/d"), QStringLiteral("yyyy.M.d")}) {
            list << date << date + QStringLiteral(" H:mm") << date + QStringLiteral(" H:mm:ss");
        }
        return list;
    }();
    return formats;
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
    // Every accepted form holds a digit; most captions do not, and are rejected at once.
    if (!std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    for (const QString& format : NumericDateTimeFormats()) {
        if (const QDateTime moment = QDateTime::fromString(text, format); moment.isValid())
            return Moment(moment.date(), moment.time());
    }
    for (const QString& format : {QStringLiteral("H:mm"), QStringLiteral("H:mm:ss")}) {
        if (const QTime time = QTime::fromString(text, format); time.isValid())
            return Moment(kEpoch, time);
    }
    return ParseWithLocale(text, QLocale::system());
}
