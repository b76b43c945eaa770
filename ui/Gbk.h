#pragma once

#include <QString>
#include <string>

#include "platform/CodePage.h"

// The window boundary: controls hold Unicode, everything behind them holds GBK bytes.
inline QString FromGbk(const std::string& gbk)
{
    return QString::fromUtf8(GbkToUtf8(gbk));
}

inline std::string ToGbk(const QString& text)
{
    return Utf8ToGbk(text.toUtf8().toStdString());
}

// Multi-line texts: the system separates lines with CR LF, Qt's text widgets with LF alone.
inline QString FromGbkLines(const std::string& gbk)
{
    QString text = FromGbk(gbk);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

inline std::string ToGbkLines(QString text)
{
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return ToGbk(text);
}
