#pragma once
#include <QString>

#include <optional>

// The same, for text a user typed into a question: nothing when it is no number, so the
// question can be refused instead of the map getting tile 0.
inline std::optional<int> parseTileNumber(const QString &text)
{
    const QString s = text.simplified().toUpper();
    bool ok = false;
    const int value = s.startsWith(QLatin1String("0X")) ? s.mid(2).toInt(&ok, 16) : s.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

// A tile number as the user types it or a palette file gives it: white space simplified and
// upper-cased, "0X" then hexadecimal digits, otherwise decimal; text that is no number reads
// as 0.
inline int readTileNumber(const QString &text)
{
    const QString s = text.simplified().toUpper();
    bool ok = false;
    const int value = s.startsWith(QLatin1String("0X")) ? s.mid(2).toInt(&ok, 16) : s.toInt(&ok, 10);
    return ok ? value : 0;
}
