#include "sampleworld.h"

#include "artwork.h"
#include "catalog.h"
#include "output.h"
#include "palette.h"
#include "terrain.h"
#include "worldsave.h"

#include <QDir>

#include <algorithm>

namespace sampleworld {

int facetBlocksX(int facet)
{
    switch (facet) {
    case 0:
    case 1: return 768;
    case 2: return 288;
    case 3: return 320;
    default: return 0;
    }
}

int facetBlocksY(int facet)
{
    switch (facet) {
    case 0:
    case 1: return 512;
    case 2: return 200;
    case 3: return 256;
    default: return 0;
    }
}

// first-view.ini: where the editor opens this world when nothing else says where, so a
// first start shows a house rather than the empty corner at (0, 0).
static QByteArray firstViewFile(int facet, const Site &site)
{
    QByteArray out;
    out += "; Where Tessaryn first opens this sample world: on the house nearest the origin,\n";
    out += "; in isometric projection with the statics shown.\n";
    out += "[View]\n";
    out += "Facet=" + QByteArray::number(facet) + "\n";
    out += "X=" + QByteArray::number((site.minX + site.maxX) / 2) + "\n";
    out += "Y=" + QByteArray::number((site.minY + site.maxY) / 2) + "\n";
    out += "Projection=1\n";
    out += "Statics=true\n";
    return out;
}

static void fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
}

bool write(const Options &options, QString *error, QList<WrittenFile> *written)
{
    for (int f : options.facets)
        if (f < 0 || f > 3) {
            fail(error, QStringLiteral("unknown facet %1 (facets are 0 to 3)").arg(f));
            return false;
        }
    if (options.outDir.isEmpty()) {
        fail(error, QStringLiteral("no output directory given"));
        return false;
    }
    if (!QDir().mkpath(options.outDir)) {
        fail(error, QStringLiteral("cannot create directory %1").arg(options.outDir));
        return false;
    }
    const QString &dir = options.outDir;

    if (!writeWholeFile(dir, QStringLiteral("tiledata.mul"), tileDataFile(), written, error))
        return false;
    QByteArray index, data;
    artFiles(&index, &data);
    if (!writeWholeFile(dir, QStringLiteral("artidx.mul"), index, written, error)
        || !writeWholeFile(dir, QStringLiteral("art.mul"), data, written, error))
        return false;
    textureFiles(&index, &data);
    if (!writeWholeFile(dir, QStringLiteral("texidx.mul"), index, written, error)
        || !writeWholeFile(dir, QStringLiteral("texmaps.mul"), data, written, error))
        return false;
    if (!writeWholeFile(dir, QStringLiteral("hues.mul"), huesFile(), written, error))
        return false;
    multiFiles(&index, &data);
    if (!writeWholeFile(dir, QStringLiteral("multi.idx"), index, written, error)
        || !writeWholeFile(dir, QStringLiteral("multi.mul"), data, written, error))
        return false;
    // The palette names its category icons relative to itself, so they go beside it.
    if (!writeWholeFile(dir, QStringLiteral("palette.xml"), paletteFile(), written, error))
        return false;
    for (const PaletteIcon &icon : paletteIcons())
        if (!writeWholeFile(dir, icon.name, icon.png, written, error))
            return false;

    // Felucca and Trammel share one world; build each world once.
    const int firstFacet = options.facets.isEmpty() ? -1
                                                   : *std::min_element(options.facets.begin(), options.facets.end());
    for (int main : {0, 2, 3}) {
        QList<int> facets;
        for (int f : options.facets)
            if ((f == 1 ? 0 : f) == main && !facets.contains(f))
                facets.append(f);
        if (facets.isEmpty())
            continue;
        std::sort(facets.begin(), facets.end());
        const FacetWorld world(main, options.seed);
        if (!world.writeMainFiles(dir, written, error))
            return false;
        for (int f : facets)
            if (!world.writeDifferenceFiles(dir, f, written, error))
                return false;
        if (main == 0 && facets.contains(0)
            && !writeWholeFile(dir, QStringLiteral("sample.wsc"), worldSaveFile(world, options.seed), written, error))
            return false;
        if ((firstFacet == 1 ? 0 : firstFacet) == main
            && !writeWholeFile(dir, QStringLiteral("first-view.ini"), firstViewFile(firstFacet, houseSite(world)),
                               written, error))
            return false;
    }
    return true;
}

} // namespace sampleworld
