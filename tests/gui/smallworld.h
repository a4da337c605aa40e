#pragma once
// A small hand-made Felucca for the map view's editing tests: varied land in the 3 x 3
// blocks of cells 0..23, chosen statics there, and solid art for chosen static ids. Every
// other block reads as land id 0 at z 0 without statics.
#include "gui/viewfixture.h"

namespace smallworld {

constexpr int BlocksY = 512;

inline int landId(int x, int y) { return 3 + (x + 2 * y) % 5; }
inline int landZ(int x, int y) { return (x * 3 + y) % 20 - 5; }

using viewfixture::Static;
using viewfixture::writeFile;

// art: static id -> colour of its 20 x 30 image.
inline bool write(const QString &dir, const QList<Static> &statics, const QMap<int, quint16> &art)
{
    viewfixture::World w;
    w.facet = 0;
    for (int x = 0; x < 24; ++x)
        for (int y = 0; y < 24; ++y)
            w.land.insert({x, y}, {landId(x, y), landZ(x, y)});
    w.statics = statics;
    for (auto it = art.cbegin(); it != art.cend(); ++it)
        w.art.insert(it.key(), viewfixture::solidStatic(20, 30, it.value()));
    return viewfixture::writeWorld(dir, w);
}

} // namespace smallworld
