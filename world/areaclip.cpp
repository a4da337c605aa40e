// Copy and paste of an area: the land of the land selection and the statics of the static
// selection written as the program's own XML (the shape the tile menu's Export writes, with
// the area's origin on the export element), and read back as one step at another cell,
// heights taken relative to the land of the origin and of the target, or as they were.
#include "world/mapdocument.h"

#include <QPoint>
#include <QXmlStreamReader>

#include <algorithm>
#include <climits>

namespace {

int clampZ(qint64 z)
{
    return int(std::clamp<qint64>(z, -128, 127));
}

} // namespace

QByteArray MapDocument::copySelection()
{
    int x0 = INT_MAX, y0 = INT_MAX;
    for (auto ix = m_land.cbegin(); ix != m_land.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            x0 = std::min(x0, ix.key());
            y0 = std::min(y0, iy.key());
        }
    for (auto ix = m_statics.cbegin(); ix != m_statics.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            x0 = std::min(x0, ix.key());
            y0 = std::min(y0, iy.key());
        }
    if (x0 == INT_MAX)
        return QByteArray();
    const int z0 = m_cache.land(x0, y0).z();

    QByteArray text = QStringLiteral("<tessaryn>\n    <export x=\"%1\" y=\"%2\" z=\"%3\">\n")
                          .arg(x0)
                          .arg(y0)
                          .arg(z0)
                          .toLatin1();
    for (auto ix = m_land.cbegin(); ix != m_land.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const Tile t = m_cache.land(ix.key(), iy.key());
            text += QStringLiteral("        <land id=\"%1\" x=\"%2\" y=\"%3\" z=\"%4\" />\n")
                        .arg(t.id())
                        .arg(ix.key())
                        .arg(iy.key())
                        .arg(t.z())
                        .toLatin1();
        }
    // Statics in the order their cell holds them; every static of a selected id and height
    // goes, so two equal ones on a cell stay two.
    for (auto ix = m_statics.cbegin(); ix != m_statics.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const TileStack stack = m_cache.statics(ix.key(), iy.key());
            for (const Tile &t : stack) {
                if (!t.isStatic() || !iy->value(t.z()).contains(t.id()))
                    continue;
                text += QStringLiteral("        <tile id=\"%1\" hue=\"%2\" x=\"%3\" y=\"%4\" z=\"%5\" />\n")
                            .arg(t.id())
                            .arg(t.hue())
                            .arg(ix.key())
                            .arg(iy.key())
                            .arg(t.z())
                            .toLatin1();
            }
        }
    text += "    </export>\n</tessaryn>\n";
    return text;
}

namespace {

// An area as the XML holds it: its tiles, and its corner with that corner's land height
// (taken from the tiles, heights kept, when the text names no corner).
struct Area {
    struct Land {
        int x, y, id, z;
    };
    struct Static {
        int x, y, id, hue, z;
    };
    std::vector<Land> land;
    std::vector<Static> statics;
    bool haveOrigin = false;
    int x0 = INT_MAX, y0 = INT_MAX, z0 = 0;
};

// False and why when the text is no XML or holds nothing to paste.
bool readArea(const QByteArray &xml, Area &area, QString *error)
{
    QXmlStreamReader r(xml);
    bool inExport = false;
    const auto number = [&r](const char *name, bool &ok) {
        bool good = false;
        const int v = r.attributes().value(QLatin1String(name)).toInt(&good);
        ok = ok && good;
        return v;
    };
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = r.name();
        bool ok = true;
        if (name == QLatin1String("export")) {
            inExport = true;
            const int x = number("x", ok), y = number("y", ok), z = number("z", ok);
            if (ok) {
                area.haveOrigin = true;
                area.x0 = x;
                area.y0 = y;
                area.z0 = z;
            }
        } else if (inExport && name == QLatin1String("land")) {
            const Area::Land l{number("x", ok), number("y", ok), number("id", ok), number("z", ok)};
            if (ok && MapDocument::isLandId(l.id))
                area.land.push_back(l);
        } else if (inExport && name == QLatin1String("tile")) {
            const Area::Static s{number("x", ok), number("y", ok), number("id", ok), number("hue", ok), number("z", ok)};
            if (ok && MapDocument::isStaticId(s.id)) // an exported static that was gone has id -1
                area.statics.push_back(s);
        }
    }
    if (r.hasError()) {
        if (error)
            *error = r.errorString();
        return false;
    }
    if (area.land.empty() && area.statics.empty()) {
        if (error)
            *error = QStringLiteral("there is no land and no static to paste");
        return false;
    }
    if (!area.haveOrigin) {
        // An export of the tile menu: its corner is the origin, its heights are kept.
        for (const Area::Land &l : area.land) {
            area.x0 = std::min(area.x0, l.x);
            area.y0 = std::min(area.y0, l.y);
        }
        for (const Area::Static &s : area.statics) {
            area.x0 = std::min(area.x0, s.x);
            area.y0 = std::min(area.y0, s.y);
        }
    }
    return true;
}

} // namespace

std::vector<QPoint> MapDocument::areaCells(const QByteArray &xml, QString *error)
{
    Area area;
    if (!readArea(xml, area, error))
        return {};
    std::vector<QPoint> cells;
    cells.reserve(area.land.size() + area.statics.size());
    for (const Area::Land &l : area.land)
        cells.emplace_back(l.x - area.x0, l.y - area.y0);
    for (const Area::Static &s : area.statics)
        cells.emplace_back(s.x - area.x0, s.y - area.y0);
    const auto before = [](const QPoint &a, const QPoint &b) { return a.x() != b.x() ? a.x() < b.x() : a.y() < b.y(); };
    std::sort(cells.begin(), cells.end(), before);
    cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
    return cells;
}

int MapDocument::pasteArea(const QByteArray &xml, int tx, int ty, PasteHeights heights, QString *error)
{
    Area area;
    if (!readArea(xml, area, error))
        return -1;
    const int x0 = area.x0, y0 = area.y0, z0 = area.z0;
    // Relative: the corner's land height becomes the target's, and everything moves with it.
    const int base = area.haveOrigin && heights == PasteHeights::Relative ? m_cache.land(tx, ty).z() : z0;
    const int width = m_cache.blocksX() * 8, height = m_cache.blocksY() * 8;
    const auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < width && y < height; };

    Edit edit(*this, QStringLiteral("Paste"));
    int placed = 0;
    for (const Area::Land &l : area.land) {
        const int x = tx + l.x - x0, y = ty + l.y - y0;
        if (!inside(x, y))
            continue;
        m_cache.setLand(x, y, 2, l.id, clampZ(qint64(l.z) - z0 + base));
        ++placed;
    }
    for (const Area::Static &s : area.statics) {
        const int x = tx + s.x - x0, y = ty + s.y - y0;
        if (!inside(x, y))
            continue;
        Tile t = tileData().staticTile(s.id);
        t.setZ(clampZ(qint64(s.z) - z0 + base));
        t.setHue(quint16(s.hue));
        m_cache.insertStatics(x, y, &t, &t + 1);
        ++placed;
    }
    return placed;
}
