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
