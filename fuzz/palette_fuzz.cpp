// Palette files: the XML is read into the two category trees and their tile entries, every
// group is shown once, and the icons of what is shown are decoded. Runs a widget on the
// "offscreen" platform; the data directory has no art, so icons decode to nothing.
#include "fuzz/fuzzsupport.h"
#include "tools/palettenew.h"

#include <QApplication>
#include <QListWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>


namespace {
QString g_path;
// Both live until the process ends: libFuzzer leaves through exit(), and taking a
// QApplication down from an exit handler, after Qt's own globals, crashes inside Qt.
QApplication *g_app = nullptr;
PaletteNew *g_palette = nullptr;
} // namespace

// Fontconfig keeps a cache it never frees; that is not ours to find.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString dir = fuzz::initEnvironment();
    g_path = dir + QStringLiteral("/palette.xml");
    static int count = 1;
    g_app = new QApplication(count, *argv);
    (void)argc;
    g_palette = new PaletteNew();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!fuzz::writeFile(g_path, QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size))))
        return 0;
    PaletteNew &palette = *g_palette;
    palette.setFile(g_path);

    const int lastTile[2] = {0x3FFF, 0xFFFF};
    for (int kind : {PaletteNew::Land, PaletteNew::Statics}) {
        QTreeWidget *tree = kind == PaletteNew::Land ? palette.listLand : palette.listStatic;
        QListWidget *icons = kind == PaletteNew::Land ? palette.iconLand : palette.iconStatic;
        int shown = 0;
        for (QTreeWidgetItemIterator it(tree); *it && shown < 64; ++it, ++shown) {
            palette.clicked(*it);
            const auto *item = static_cast<PaletteGroupItem *>(*it);
            if (item->group() < 0)
                continue;
            FUZZ_CHECK(palette.shownGroup(kind) == item->group());
            const std::vector<PaletteEntry> entries = palette.entries(kind, item->group());
            FUZZ_CHECK(icons->count() == int(entries.size()));
            // Every tile an entry paints exists: numbers out of range were read as tile 0.
            for (const PaletteEntry &entry : entries) {
                FUZZ_CHECK(entry.id >= 0 && entry.id <= lastTile[kind]);
                for (int id : entry.tiles)
                    FUZZ_CHECK(id >= 0 && id <= lastTile[kind]);
            }
        }
    }
    for (int round = 0; round < 4 && palette.pendingIcons() > 0; ++round)
        QMetaObject::invokeMethod(&palette, "decodeIconBatch", Qt::DirectConnection);
    return 0;
}
