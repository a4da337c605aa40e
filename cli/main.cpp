// tessaryn-tool: the editor's reading of a client directory, for scripts and for checking a
// directory by hand. No window: it links the core only.
//
//   tessaryn-tool info DIR               the layout the editor detects, facet by facet
//   tessaryn-tool cell DIR FACET X Y     land and statics of one cell, difference files applied
//
// Exit codes: 0 done; 1 the directory or the cell cannot be read (one line on stderr says
// why); 2 wrong usage.
#include "world/clientlayout.h"
#include "world/datadirectory.h"
#include "world/facet.h"
#include "world/tile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <QTextStream>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

int fail(const QString &why)
{
    out().flush();
    QTextStream(stderr) << "tessaryn-tool: " << why << Qt::endl;
    return kFailed;
}

int usage()
{
    QTextStream(stderr) << "usage: tessaryn-tool info DIR\n"
                           "       tessaryn-tool cell DIR FACET X Y\n";
    return kUsage;
}

QString count(qint64 n)
{
    return groupedNumber(n);
}

QString tileDataText(const ClientLayout &l)
{
    switch (l.tileData()) {
    case TileDataLayout::Missing: return QStringLiteral("tile data: none (tiledata.mul is missing)");
    case TileDataLayout::Early: return QStringLiteral("tile data: early, 32-bit flags, %1 bytes").arg(count(l.tileDataBytes()));
    case TileDataLayout::Later: return QStringLiteral("tile data: later, 64-bit flags, %1 bytes").arg(count(l.tileDataBytes()));
    case TileDataLayout::Unknown: return QStringLiteral("tile data: unknown layout, %1 bytes").arg(count(l.tileDataBytes()));
    }
    return QString();
}

QString artText(const ClientLayout &l)
{
    switch (l.art()) {
    case ArtSource::Missing: return QStringLiteral("art: none");
    case ArtSource::Mul: return QStringLiteral("art: artidx.mul, art.mul");
    case ArtSource::Uop: return QStringLiteral("art: artLegacyMUL.uop");
    }
    return QString();
}

// The directory must at least be one the editor can open: readable and holding some map.
QString unreadable(const ClientLayout &l)
{
    if (!l.directoryReadable())
        return l.saveRefusal(0);
    for (int f = 0; f < ClientLayout::FacetCount; ++f) {
        if (l.facet(f).present())
            return QString();
    }
    return l.saveRefusal(0);
}

int info(const QString &dir)
{
    const ClientLayout l = ClientLayout::detect(dir);
    if (const QString why = unreadable(l); !why.isEmpty())
        return fail(why);
    QTextStream &o = out();
    o << "directory: " << QDir::toNativeSeparators(dir) << '\n';
    o << tileDataText(l) << '\n' << artText(l) << '\n';
    o << "multi components: " << l.multiComponentSize() << " bytes\n";
    o << "radar colours: " << (l.hasRadarColours() ? "radarcol.mul" : "none") << '\n';
    for (int f = 0; f < ClientLayout::FacetCount; ++f) {
        const FacetLayout &fl = l.facet(f);
        o << "facet " << f << ' ' << fl.name << ": ";
        if (!fl.present()) {
            o << "absent\n";
            continue;
        }
        o << fl.mapFile << (fl.mapIsUop ? " (container)" : "") << ", " << count(fl.mapSize) << " bytes, "
          << fl.blocksX << " x " << fl.blocksY << " blocks (" << fl.blocksX * 8 << " x " << fl.blocksY * 8
          << " cells), ";
        if (fl.sharesMain)
            o << "shares Felucca's main files";
        else
            o << "main files " << fl.mainNumber;
        o << ", statics " << (fl.staticsIndexSize >= 0 ? fl.staticsIndexFile() : QStringLiteral("none"))
          << ", difference files " << (fl.hasDifferences ? "yes" : "no")
          << ", saving " << (l.saveRefusal(f).isEmpty() ? "allowed" : "refused") << '\n';
        for (const QString &note : fl.notes)
            o << "  note: " << note << '\n';
    }
    for (const QString &w : l.warnings())
        o << "warning: " << w << '\n';
    o.flush();
    return 0;
}

bool number(const QString &text, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok, 0);
    return ok;
}

int cell(const QString &dir, const QStringList &args)
{
    int facet, x, y;
    if (!number(args.at(0), &facet) || !number(args.at(1), &x) || !number(args.at(2), &y))
        return usage();
    const ClientLayout l = ClientLayout::detect(dir);
    if (const QString why = unreadable(l); !why.isEmpty())
        return fail(why);
    if (facet < 0 || facet >= ClientLayout::FacetCount)
        return fail(QStringLiteral("there is no facet %1 (facets are 0 to %2)").arg(facet).arg(ClientLayout::FacetCount - 1));
    const FacetLayout &fl = l.facet(facet);
    if (!fl.present())
        return fail(fl.problem);
    if (x < 0 || y < 0 || x >= fl.blocksX * 8 || y >= fl.blocksY * 8)
        return fail(QStringLiteral("cell %1, %2 lies outside %3 (%4 x %5 cells)")
                        .arg(x)
                        .arg(y)
                        .arg(fl.name)
                        .arg(fl.blocksX * 8)
                        .arg(fl.blocksY * 8));
    setDataDirectoryOverride(dir);
    Facet f(facet, true);
    if (f.blockCount() != fl.blockCount())
        return fail(QStringLiteral("the files of %1 changed while they were read").arg(fl.name));
    const int block = blockNumber(x, y, f.blocksY());
    const CellKey key = cellKey(x % 8, y % 8);
    QTextStream &o = out();
    const LandBlock land = f.loadLandBlock(block, false);
    const Tile &t = land.at(key);
    o << "land " << t.id() << " z " << t.z() << '\n';
    const StaticBlock statics = f.loadStaticBlock(block, false, false);
    if (statics.contains(key)) {
        for (const Tile &s : statics.at(key))
            o << "static " << s.id() << " z " << s.z() << " hue " << s.hue() << '\n';
    }
    o.flush();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaryn-tool"));
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args.at(0) == QLatin1String("info"))
        return info(args.at(1));
    if (args.size() == 5 && args.at(0) == QLatin1String("cell"))
        return cell(args.at(1), args.mid(2));
    return usage();
}
