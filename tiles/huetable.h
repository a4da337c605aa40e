#pragma once
#include "tiles/hue.h"

#include <QList>

// All hues of the client's hues file, read once. Hue numbers count the entries in file
// order from 1; number 0 means "no hue".
class HueTable
{
public:
    // Reads dataDirectory() + "/hues.mul". A missing file gives an empty table.
    HueTable();

    // A copy of hue number n, or the empty hue for 0, negative numbers and numbers past
    // the last entry.
    Hue hue(int n) const;

    // Number of hues read; the valid numbers are 1..count().
    int count() const { return int(m_hues.size()); }

private:
    QList<Hue> m_hues; // hue n at index n - 1
};
