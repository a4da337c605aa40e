// Showing a palette group of 500 tiles: how long the event loop is blocked at most, how soon
// the icons on screen are there and how long until all icons are. The baseline is the same
// group decoded in one go, icon after icon, as a single event would do it.
#include "tiles/artstore.h"
#include "tools/palettenew.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kTiles = 500;
constexpr int kRuns = 5;

void put16(QByteArray *b, int v)
{
    b->append(char(v & 0xff));
    b->append(char((v >> 8) & 0xff));
}

void put32(QByteArray *b, qint32 v)
{
    put16(b, v & 0xffff);
    put16(b, (quint32(v) >> 16) & 0xffff);
}

// Land tiles 1..500 and statics 1..500 (solid rectangles of a few sizes, like furniture and
// trees), each of its own colour.
bool writeArt(const QString &dir)
{
    std::vector<QByteArray> records(0x4000 + kTiles + 1);
    for (int id = 1; id <= kTiles; ++id) {
        QByteArray e;
        for (int i = 0; i < 1012; ++i)
            put16(&e, (id * 37 + i) & 0x7fff);
        records[id] = e;
    }
    for (int id = 1; id <= kTiles; ++id) {
        const int width = 44 + (id % 5) * 20, height = 60 + (id % 7) * 25;
        QByteArray e;
        put32(&e, 0);
        put16(&e, width);
        put16(&e, height);
        for (int y = 0; y < height; ++y)
            put16(&e, y * (width + 4));
        for (int y = 0; y < height; ++y) {
            put16(&e, 0);
            put16(&e, width);
            for (int x = 0; x < width; ++x)
                put16(&e, (id * 91 + x + y) & 0x7fff);
            put16(&e, 0);
            put16(&e, 0);
        }
        records[0x4000 + id] = e;
    }
    QByteArray index, data;
    for (const QByteArray &r : records) {
        put32(&index, r.isEmpty() ? -1 : qint32(data.size()));
        put32(&index, r.isEmpty() ? -1 : qint32(r.size()));
        put32(&index, 0);
        data += r;
    }
    QFile idx(dir + QStringLiteral("/artidx.mul")), art(dir + QStringLiteral("/art.mul"));
    return idx.open(QIODevice::WriteOnly) && art.open(QIODevice::WriteOnly)
        && idx.write(index) == index.size() && art.write(data) == data.size();
}

bool writePalette(const QString &path)
{
    QByteArray xml = "<palette><tilesets>";
    for (const char *section : {"land", "statics"}) {
        xml += QByteArray("<") + section + "><tileset name=\"All\"><group name=\"Many\">";
        for (int id = 1; id <= kTiles; ++id)
            xml += "<tile>" + QByteArray::number(id) + "</tile>";
        xml += QByteArray("</group></tileset></") + section + ">";
    }
    xml += "</tilesets></palette>";
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(xml) == xml.size();
}

struct Figures {
    double longestBlockMs = 0;
    double visibleIconsMs = 0;
    double allIconsMs = 0;
};

bool visibleIconsReady(QListWidget *view)
{
    const QRect port = view->viewport()->rect();
    for (int row = 0; row < view->count(); ++row) {
        auto *item = static_cast<PaletteTileItem *>(view->item(row));
        if (item->iconPending() && view->visualItemRect(item).intersects(port))
            return false;
    }
    return true;
}

// Shows the kind's group through the palette and watches the event loop with a zero timer:
// the longest gap between its ticks is the longest time the loop was blocked.
Figures showThroughPalette(PaletteNew &palette, int kind)
{
    QTreeWidget *tree = kind == PaletteNew::Land ? palette.listLand : palette.listStatic;
    QListWidget *view = kind == PaletteNew::Land ? palette.iconLand : palette.iconStatic;
    palette.tabWidget7->setCurrentIndex(kind == PaletteNew::Land ? 1 : 0);
    palette.setFile(palette.fileName()); // forgets the shown group
    QApplication::processEvents();

    Figures f;
    QElapsedTimer clock, gap;
    QEventLoop loop;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        f.longestBlockMs = std::max(f.longestBlockMs, gap.nsecsElapsed() / 1e6);
        gap.restart();
        if (f.visibleIconsMs == 0 && view->count() > 0 && visibleIconsReady(view))
            f.visibleIconsMs = clock.nsecsElapsed() / 1e6;
        if (view->count() > 0 && palette.pendingIcons() == 0) {
            f.allIconsMs = clock.nsecsElapsed() / 1e6;
            loop.quit();
        }
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        gap.start();
        probe.start();
        palette.clicked(tree->topLevelItem(0)->child(0));
    });
    loop.exec();
    return f;
}

// The same group decoded in one go: what a single event costs when nothing is deferred.
double showAtOnce(int kind)
{
    QListWidget view;
    view.setViewMode(QListView::IconMode);
    view.setIconSize(QSize(64, 64));
    view.show();
    QApplication::processEvents();
    ArtStore art;
    QElapsedTimer clock;
    clock.start();
    for (int id = 1; id <= kTiles; ++id) {
        const QImage image = kind == PaletteNew::Land ? art.landArt(id, 255) : art.staticArt(id, 255);
        auto *item = new QListWidgetItem(QStringLiteral("0x") + QString::number(id, 16), &view);
        if (!image.isNull())
            item->setIcon(QPixmap::fromImage(image.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    view.repaint();
    return clock.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void print(const char *name, double value, double baseline)
{
    std::printf("%s %.2f ms (baseline %.2f ms, %.3f)\n", name, value, baseline,
                baseline > 0 ? value / baseline : 0.0);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationName(QStringLiteral("TessarynBench"));
    QSettings().setValue(QStringLiteral("Varnel/UODir"), dir.path());
    const QString paletteFile = dir.path() + QStringLiteral("/palette.xml");
    if (!writeArt(dir.path()) || !writePalette(paletteFile)) {
        std::fprintf(stderr, "cannot write the bench data\n");
        return 1;
    }

    PaletteNew palette(nullptr);
    palette.setFile(paletteFile);
    palette.show();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();

    for (int kind : {int(PaletteNew::Land), int(PaletteNew::Statics)}) {
        std::vector<double> block, visible, all, once;
        for (int run = 0; run < kRuns; ++run) {
            const Figures f = showThroughPalette(palette, kind);
            block.push_back(f.longestBlockMs);
            visible.push_back(f.visibleIconsMs);
            all.push_back(f.allIconsMs);
            once.push_back(showAtOnce(kind));
        }
        const double baseline = median(once);
        const QByteArray prefix = kind == PaletteNew::Land ? "palette_land_500" : "palette_statics_500";
        print((prefix + "_longest_block").constData(), median(block), baseline);
        print((prefix + "_visible_icons").constData(), median(visible), baseline);
        print((prefix + "_all_icons").constData(), median(all), baseline);
    }
    return 0;
}
