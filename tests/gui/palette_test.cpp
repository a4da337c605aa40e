// The palette: reading palette files, categories, icon views, signals and icon decoding.
#include "support/testenv.h"
#include "tiles/colour.h"
#include "tools/palettenew.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

#include <map>

namespace {

// Client art written by hand: land tiles as full diamonds of one colour, statics as solid
// rectangles of one colour. Index records without an entry have offset -1.
struct StaticLook {
    int width;
    int height;
    quint16 colour;
};

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

void writeArt(const QString &dir, const std::map<int, quint16> &land,
              const std::map<int, StaticLook> &statics)
{
    std::map<int, QByteArray> entries;
    for (const auto &[id, colour] : land) {
        QByteArray e;
        for (int i = 0; i < 1012; ++i)
            put16(&e, colour);
        entries[id] = e;
    }
    for (const auto &[id, look] : statics) {
        QByteArray e;
        put32(&e, 0); // flags
        put16(&e, look.width);
        put16(&e, look.height);
        // Every row: one run over the whole width, then the end pair; the line table counts
        // 2-byte units from the end of the table.
        const int rowUnits = 2 + look.width + 2;
        for (int y = 0; y < look.height; ++y)
            put16(&e, y * rowUnits);
        for (int y = 0; y < look.height; ++y) {
            put16(&e, 0);
            put16(&e, look.width);
            for (int x = 0; x < look.width; ++x)
                put16(&e, look.colour);
            put16(&e, 0);
            put16(&e, 0);
        }
        entries[0x4000 + id] = e;
    }
    const int records = entries.empty() ? 0 : entries.rbegin()->first + 1;
    QByteArray index, data;
    for (int r = 0; r < records; ++r) {
        const auto found = entries.find(r);
        if (found == entries.end()) {
            put32(&index, -1);
            put32(&index, -1);
            put32(&index, 0);
            continue;
        }
        put32(&index, qint32(data.size()));
        put32(&index, qint32(found->second.size()));
        put32(&index, 0);
        data += found->second;
    }
    QFile idx(dir + QStringLiteral("/artidx.mul")), art(dir + QStringLiteral("/art.mul"));
    QVERIFY(idx.open(QIODevice::WriteOnly) && art.open(QIODevice::WriteOnly));
    idx.write(index);
    art.write(data);
}

QString writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(text);
    return path;
}

// Colours of the hand-made art (5-5-5).
constexpr quint16 kRed = 0x7C00;
constexpr quint16 kGreen = 0x03E0;
constexpr quint16 kBlue = 0x001F;
constexpr quint16 kGrey = 0x4210;

std::vector<int> ids(std::initializer_list<int> list) { return std::vector<int>(list); }

std::vector<int> tilesOf(const std::vector<PaletteEntry> &entries, size_t i)
{
    return i < entries.size() ? entries[i].tiles : std::vector<int>{-99};
}

PaletteGroupItem *groupItem(QTreeWidgetItem *item)
{
    return item && item->type() == PaletteGroupItem::Type ? static_cast<PaletteGroupItem *>(item) : nullptr;
}

PaletteTileItem *tileItem(QListWidget *view, int row)
{
    QListWidgetItem *item = view->item(row);
    return item && item->type() == PaletteTileItem::Type ? static_cast<PaletteTileItem *>(item) : nullptr;
}

QRgb iconCentre(const QListWidgetItem *item)
{
    const QImage image = item->icon().pixmap(QSize(64, 64)).toImage();
    return image.pixel(image.width() / 2, image.height() / 2);
}

void clickItem(QTreeWidget *tree, QTreeWidgetItem *item)
{
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

void clickItem(QListWidget *view, QListWidgetItem *item, bool twice = false)
{
    view->scrollToItem(item);
    const QPoint at = view->visualItemRect(item).center();
    // A real double click is a click followed by the double-click press.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

// Both kinds: land has a tile set "Ground" with groups "Grass" (tiles and a random set) and
// "Nothing" (a tile without art); statics has a tile set with one group of two statics.
const char *const kPalette = R"(<?xml version="1.0"?>
<palette>
  <tilesets>
    <land>
      <tileset name="Ground">
        <group name="Grass">
          <tile>3</tile>
          <tile> 0x0005 </tile>
          <random name="Meadow" image="3"><tile>3</tile><tile>4</tile><tile>5</tile></random>
          <random name="Plain"><tile>5</tile></random>
          <random name="Empty" image="4"/>
        </group>
        <group name="Nothing"><tile>9</tile></group>
      </tileset>
    </land>
    <statics>
      <tileset name="Things">
        <group name="Furniture"><tile>0x10</tile><tile>17</tile></group>
      </tileset>
    </statics>
  </tilesets>
</palette>
)";

} // namespace

class PaletteTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void parseNumber_data();
    void parseNumber();
    void elementNamesInAnyCaseAttributesExact();
    void tileNumbersAndLabels();
    void randomEntries();
    void groupsNumberedPerKindFromZero();
    void elementsWithoutCategoryIgnored();
    void unreadableFileLeavesPaletteEmpty_data();
    void unreadableFileLeavesPaletteEmpty();
    void secondFileReplacesFirst();
    void tileSetImageRelativeToPaletteFile();
    void groupShowsLabelsAndIcons();
    void tileSetClickKeepsIconView();
    void signalsCarryTypeTilesAndAltitude();
    void kindFollowsTheTreeNotTheTab();
    void largeGroupDecodesInBatchesVisibleFirst();

private:
    QString palette(const QByteArray &xml, const QString &name = QStringLiteral("palette.xml"))
    {
        return writeText(m_env->root() + QLatin1Char('/') + name, xml);
    }

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestEnvironment> m_env;
    QString m_client;
};

void PaletteTest::initTestCase()
{
    // Test mode puts every test program's settings into one shared store, where programs
    // running at the same time would swap data directories under each other.
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void PaletteTest::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_client = m_env->root() + QStringLiteral("/client");
    QDir().mkpath(m_client);
    writeArt(m_client, {{0, kRed}, {3, kGreen}, {4, kBlue}, {5, kGrey}},
             {{0x10, {20, 30, kBlue}}, {17, {90, 45, kRed}}});
    TestEnvironment::useDataDirectory(m_client);
}

void PaletteTest::cleanup()
{
    m_env.reset();
    QVERIFY(!QApplication::overrideCursor());
}

void PaletteTest::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "123" << 123;
    QTest::newRow("hex with blanks around") << " 0x1A " << 26;
    QTest::newRow("upper-case prefix and digits") << "0XFF" << 255;
    QTest::newRow("hex digits without prefix are not decimal") << "1A" << 0;
    QTest::newRow("word") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("prefix alone") << "0x" << 0;
    QTest::newRow("inner blank") << "1 2" << 0;
    QTest::newRow("line breaks around") << "\n\t42\n" << 42;
    QTest::newRow("negative decimal") << "-7" << -7;
    QTest::newRow("too large for int") << "0x100000000" << 0;
}

void PaletteTest::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(PaletteNew::parseNumber(text), value);
}

void PaletteTest::elementNamesInAnyCaseAttributesExact()
{
    PaletteNew p(nullptr);
    p.setFile(palette(R"(<Whatever><TileSets><LaNd>
        <tileset name="Lower"><Group name="Mixed"><TILE>3</TILE><Random name="R" image="4"><tIlE>5</tIlE></Random></Group></tileset>
        <TILESET NAME="not read" Image="x.png"><GROUP Name="no name either"><tile>4</tile></GROUP></TILESET>
      </LaNd></TileSets></Whatever>)"));
    QCOMPARE(p.listLand->topLevelItemCount(), 2);
    QTreeWidgetItem *lower = p.listLand->topLevelItem(0);
    QCOMPARE(lower->text(0), QStringLiteral("Lower"));
    QCOMPARE(lower->childCount(), 1);
    QCOMPARE(lower->child(0)->text(0), QStringLiteral("Mixed"));
    const std::vector<PaletteEntry> mixed = p.entries(PaletteNew::Land, 0);
    QCOMPARE(mixed.size(), size_t(2));
    QCOMPARE(mixed[0].tiles, ids({3}));
    QCOMPARE(mixed[1].tiles, ids({5}));
    QCOMPARE(mixed[1].id, 4);
    QCOMPARE(mixed[1].label, QStringLiteral("R"));

    // Attribute names are exact: upper-case ones are not read, the elements still are.
    QTreeWidgetItem *upper = p.listLand->topLevelItem(1);
    QCOMPARE(upper->text(0), QString());
    QVERIFY(upper->icon(0).isNull());
    QCOMPARE(upper->child(0)->text(0), QString());
    QCOMPARE(tilesOf(p.entries(PaletteNew::Land, 1), 0), ids({4}));
    QCOMPARE(p.listStatic->topLevelItemCount(), 0);
}

void PaletteTest::tileNumbersAndLabels()
{
    PaletteNew p(nullptr);
    p.setFile(palette(R"(<p><tilesets>
      <land><tileset><group>
        <tile> 0x1A </tile><tile>abc</tile><tile>0x3FFF</tile><tile>0x4000</tile><tile>-1</tile><tile/>
      </group></tileset></land>
      <statics><tileset><group>
        <tile>0x4000</tile><tile>65535</tile><tile>65536</tile><tile><!-- note -->12</tile>
      </group></tileset></statics>
    </tilesets></p>)"));

    struct Want {
        int id;
        const char *label;
    };
    // Land ids end at 0x3FFF and statics at 0xFFFF; anything beyond, and -1 (the empty tile),
    // reads as tile 0 like text that is not a number.
    const std::vector<Want> land = {{26, "0x1a"}, {0, "0x0"}, {0x3FFF, "0x3fff"}, {0, "0x0"}, {0, "0x0"}, {0, "0x0"}};
    const std::vector<Want> statics = {{0x4000, "0x4000"}, {0xFFFF, "0xffff"}, {0, "0x0"}, {12, "0xc"}};
    for (int kind : {int(PaletteNew::Land), int(PaletteNew::Statics)}) {
        const std::vector<PaletteEntry> got = p.entries(kind, 0);
        const std::vector<Want> &want = kind == PaletteNew::Land ? land : statics;
        QCOMPARE(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            QCOMPARE(got[i].id, want[i].id);
            QCOMPARE(got[i].tiles, ids({want[i].id}));
            QCOMPARE(got[i].label, QLatin1String(want[i].label));
        }
    }
}

void PaletteTest::randomEntries()
{
    PaletteNew p(nullptr);
    p.setFile(palette(R"(<p><tilesets><statics><tileset><group name="G">
        <random name="Trees" image="0x11"><tile>16</tile><!-- c --><group name="inner"/><tile>0x11</tile>text<tile>16</tile></random>
        <random name="No image"><tile>7</tile></random>
        <random name="No tiles" image="16"/>
        <random><tile>1</tile></random>
      </group><group name="Next"/></tileset></statics></tilesets></p>)"));
    const std::vector<PaletteEntry> e = p.entries(PaletteNew::Statics, 0);
    QCOMPARE(e.size(), size_t(4));
    // Only TILE children count, in document order, repeats kept; a GROUP inside is no group.
    QCOMPARE(e[0].tiles, ids({16, 17, 16}));
    QCOMPARE(e[0].id, 17);
    QCOMPARE(e[0].label, QStringLiteral("Trees"));
    QCOMPARE(e[1].id, 0);
    QCOMPARE(e[2].tiles, std::vector<int>());
    QCOMPARE(e[2].id, 16);
    QCOMPARE(e[3].label, QString());
    QCOMPARE(groupItem(p.listStatic->topLevelItem(0)->child(1))->group(), 1);
}

void PaletteTest::groupsNumberedPerKindFromZero()
{
    PaletteNew p(nullptr);
    p.setFile(palette(R"(<p>
      <tilesets>
        <statics><tileset name="S1"><group name="s0"/><group name="s1"><group name="s2"/></group></tileset></statics>
        <land><tileset name="L1"><group name="l0"><group name="l1"/></group></tileset></land>
        <statics><tileset name="S2"><group name="s3"/></tileset></statics>
      </tilesets>
      <tilesets><land><tileset name="L2"><group name="l2"><tile>3</tile></group></tileset></land></tilesets>
    </p>)"));
    // Sections of the same kind add up, in document order; tile sets take no number.
    QCOMPARE(p.listStatic->topLevelItemCount(), 2);
    QCOMPARE(p.listLand->topLevelItemCount(), 2);
    const auto check = [](QTreeWidgetItem *item, const char *name, int group) {
        QVERIFY(groupItem(item));
        QCOMPARE(item->text(0), QLatin1String(name));
        QCOMPARE(groupItem(item)->group(), group);
    };
    check(p.listStatic->topLevelItem(0), "S1", -1);
    check(p.listStatic->topLevelItem(0)->child(0), "s0", 0);
    check(p.listStatic->topLevelItem(0)->child(1), "s1", 1);
    check(p.listStatic->topLevelItem(0)->child(1)->child(0), "s2", 2);
    check(p.listStatic->topLevelItem(1)->child(0), "s3", 3);
    check(p.listLand->topLevelItem(0), "L1", -1);
    check(p.listLand->topLevelItem(0)->child(0), "l0", 0);
    check(p.listLand->topLevelItem(0)->child(0)->child(0), "l1", 1);
    check(p.listLand->topLevelItem(1)->child(0), "l2", 2);
    QCOMPARE(tilesOf(p.entries(PaletteNew::Land, 2), 0), ids({3}));
    QVERIFY(p.entries(PaletteNew::Statics, 2).empty());
}

void PaletteTest::elementsWithoutCategoryIgnored()
{
    PaletteNew p(nullptr);
    p.setFile(palette(R"(<p>
      <land><tileset name="outside tilesets"><group><tile>1</tile></group></tileset></land>
      <tilesets>
        <tileset name="outside a section"><group><tile>2</tile></group></tileset>
        <land>
          <group name="loose"><tile>3</tile></group>
          <tile>4</tile>
          <random name="loose random"><tile>5</tile></random>
          <tileset name="Set"><tile>6</tile><random name="in set"><tile>7</tile></random><group name="first"><tile>8</tile></group></tileset>
        </land>
      </tilesets>
    </p>)"));
    QCOMPARE(p.listLand->topLevelItemCount(), 1);
    QTreeWidgetItem *set = p.listLand->topLevelItem(0);
    QCOMPARE(set->text(0), QStringLiteral("Set"));
    QCOMPARE(set->childCount(), 1);
    // The loose group took no number: the first group inside a tile set is group 0.
    QCOMPARE(groupItem(set->child(0))->group(), 0);
    QCOMPARE(p.entries(PaletteNew::Land, 0).size(), size_t(1));
    QCOMPARE(tilesOf(p.entries(PaletteNew::Land, 0), 0), ids({8}));
    // Entries directly in a tile set are never shown.
    QVERIFY(p.entries(PaletteNew::Land, -1).empty());
    p.tabWidget7->setCurrentIndex(1);
    p.clicked(set);
    QCOMPARE(p.iconLand->count(), 0);
    QCOMPARE(p.shownGroup(PaletteNew::Land), -1);
}

void PaletteTest::unreadableFileLeavesPaletteEmpty_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing file") << "missing.xml" << QByteArray();
    QTest::newRow("a directory") << "folder" << QByteArray();
    QTest::newRow("empty file") << "empty.xml" << QByteArray("");
    QTest::newRow("unclosed element") << "cut.xml" << QByteArray("<p><tilesets><land><tileset name=\"a\"><group><tile>3</tile>");
    QTest::newRow("mismatched tags") << "bad.xml" << QByteArray("<p><tilesets></land></tilesets></p>");
    QTest::newRow("not xml") << "text.xml" << QByteArray("tile 3, tile 4");
    QTest::newRow("binary") << "bin.xml" << QByteArray("\x00\xff\x10<p>", 6);
    // Shapes that once hung or overflowed the stack: they are refused at the 65th level.
    QTest::newRow("100000 nested elements") << "deep.xml" << (QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000));
    QTest::newRow("40000 nested groups")
        << "groups.xml"
        << (QByteArray("<p><tilesets><land><tileset name=\"t\">") + QByteArray("<group name=\"g\">").repeated(40000)
            + QByteArray("</group>").repeated(40000) + QByteArray("</tileset></land></tilesets></p>"));
    QTest::newRow("larger than 64 MiB") << "huge.xml" << QByteArray();
}

void PaletteTest::unreadableFileLeavesPaletteEmpty()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QString path = m_env->root() + QLatin1Char('/') + name;
    if (name == QLatin1String("folder"))
        QDir().mkpath(path);
    else if (name == QLatin1String("huge.xml")) {
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write("<p>") == 3 && huge.resize((qint64(64) << 20) + 1));
    } else if (name != QLatin1String("missing.xml"))
        writeText(path, content);

    PaletteNew p(nullptr);
    p.show();
    p.setFile(palette(kPalette, QStringLiteral("good.xml")));
    p.tabWidget7->setCurrentIndex(1);
    p.clicked(p.listLand->topLevelItem(0)->child(0));
    QCOMPARE(p.iconLand->count(), 5);

    p.setFile(path);
    QCOMPARE(p.fileName(), path);
    QCOMPARE(p.listLand->topLevelItemCount(), 0);
    QCOMPARE(p.listStatic->topLevelItemCount(), 0);
    QCOMPARE(p.iconLand->count(), 0);
    QCOMPARE(p.shownGroup(PaletteNew::Land), -1);
    QVERIFY(p.entries(PaletteNew::Land, 0).empty());
    QVERIFY(!QApplication::overrideCursor());
    // The reason starts with the file, so the user knows which one.
    QVERIFY2(p.lastError().startsWith(QDir::toNativeSeparators(path) + QStringLiteral(": ")), qPrintable(p.lastError()));

    // And the palette still works with a good file afterwards, one nested to the limit too.
    p.setFile(palette(kPalette, QStringLiteral("good.xml")));
    QCOMPARE(p.listLand->topLevelItemCount(), 1);
    QVERIFY(p.lastError().isEmpty());
    p.setFile(palette(QByteArray("<p><tilesets><land><tileset>") + QByteArray("<group name=\"g\">").repeated(59)
                          + "<tile>0x3</tile>" + QByteArray("</group>").repeated(59) + "</tileset></land></tilesets></p>",
                      QStringLiteral("limit.xml")));
    QVERIFY2(p.lastError().isEmpty(), qPrintable(p.lastError()));
    QCOMPARE(p.entries(PaletteNew::Land, 58).size(), size_t(1));
    QCOMPARE(p.entries(PaletteNew::Land, 58).front().id, 3);
}

void PaletteTest::secondFileReplacesFirst()
{
    PaletteNew p(nullptr);
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    p.setFile(palette(kPalette, QStringLiteral("first.xml")));
    p.tabWidget7->setCurrentIndex(1);
    p.clicked(p.listLand->topLevelItem(0)->child(0));
    p.tabWidget7->setCurrentIndex(0);
    p.clicked(p.listStatic->topLevelItem(0)->child(0));
    QVERIFY(p.pendingIcons() > 0); // still decoding when the next file arrives
    QVERIFY(QApplication::overrideCursor());

    p.setFile(palette(R"(<p><tilesets><land><tileset name="Other"><group name="Only"><tile>4</tile></group></tileset></land></tilesets></p>)",
                      QStringLiteral("second.xml")));
    QCOMPARE(p.listStatic->topLevelItemCount(), 0);
    QCOMPARE(p.iconStatic->count(), 0);
    QCOMPARE(p.iconLand->count(), 0);
    QCOMPARE(p.pendingIcons(), 0);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(p.listLand->topLevelItemCount(), 1);
    QCOMPARE(p.listLand->topLevelItem(0)->text(0), QStringLiteral("Other"));
    QCOMPARE(p.entries(PaletteNew::Land, 0).size(), size_t(1));
    QVERIFY(p.entries(PaletteNew::Land, 1).empty());
    // The shown group was forgotten: group 0 of the new file shows although group 0 was shown.
    p.tabWidget7->setCurrentIndex(1);
    p.clicked(p.listLand->topLevelItem(0)->child(0));
    QCOMPARE(p.iconLand->count(), 1);
    QCOMPARE(p.iconLand->item(0)->text(), QStringLiteral("0x4"));
    QTRY_COMPARE(p.pendingIcons(), 0);
}

void PaletteTest::tileSetImageRelativeToPaletteFile()
{
    QImage picture(64, 16, QImage::Format_ARGB32);
    picture.fill(Qt::yellow);
    QDir().mkpath(m_env->root() + QStringLiteral("/pics"));
    QVERIFY(picture.save(m_env->root() + QStringLiteral("/pics/wide.png")));
    PaletteNew p(nullptr);
    p.setFile(palette(QByteArray(R"(<p><tilesets><land>
        <tileset name="a" image=" pics/wide.png "/>
        <tileset name="b" image=")") + m_env->root().toUtf8() + R"(/pics/wide.png"/>
        <tileset name="c" image="pics/missing.png"/>
        <tileset name="d" image="pics"/>
      </land></tilesets></p>)"));
    QCOMPARE(p.listLand->topLevelItemCount(), 4);
    for (int i : {0, 1}) {
        const QIcon icon = p.listLand->topLevelItem(i)->icon(0);
        QVERIFY(!icon.isNull());
        // Scaled to fit 32 x 32, keeping its shape.
        QCOMPARE(icon.availableSizes().value(0), QSize(32, 8));
    }
    QVERIFY(p.listLand->topLevelItem(2)->icon(0).isNull());
    QVERIFY(p.listLand->topLevelItem(3)->icon(0).isNull());
}

void PaletteTest::groupShowsLabelsAndIcons()
{
    PaletteNew p(nullptr);
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    p.setFile(palette(kPalette));
    p.tabWidget7->setCurrentIndex(1);
    p.listLand->expandAll();
    clickItem(p.listLand, p.listLand->topLevelItem(0)->child(0));
    QCOMPARE(p.shownGroup(PaletteNew::Land), 0);

    // The labels are there at once; the icons follow under the wait cursor.
    QStringList labels;
    for (int i = 0; i < p.iconLand->count(); ++i)
        labels << p.iconLand->item(i)->text();
    QCOMPARE(labels, QStringList({"0x3", "0x5", "Meadow", "Plain", "Empty"}));
    // The view lays its items out before their icons arrive (as it does on a busy machine).
    p.iconLand->doItemsLayout();
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QTRY_COMPARE(p.pendingIcons(), 0);
    QVERIFY(!QApplication::overrideCursor());
    // Laid out for icon and label from the first display on, not only after a resize: each
    // item is as tall as its icon and a line of its label.
    QApplication::processEvents();
    const int line = p.iconLand->fontMetrics().height();
    for (int i = 0; i < p.iconLand->count(); ++i) {
        const QRect r = p.iconLand->visualItemRect(p.iconLand->item(i));
        QVERIFY2(r.height() >= 64 + line && r.width() >= 64,
                 qPrintable(QStringLiteral("item %1 is %2 x %3").arg(i).arg(r.width()).arg(r.height())));
    }

    const QRgb green = colourToArgb(kGreen, 255), grey = colourToArgb(kGrey, 255);
    const QRgb red = colourToArgb(kRed, 255), blue = colourToArgb(kBlue, 255);
    QCOMPARE(iconCentre(p.iconLand->item(0)), green);
    QCOMPARE(iconCentre(p.iconLand->item(1)), grey);
    QCOMPARE(iconCentre(p.iconLand->item(2)), green);
    QCOMPARE(iconCentre(p.iconLand->item(3)), red); // no image attribute: tile 0
    QCOMPARE(iconCentre(p.iconLand->item(4)), blue);
    QCOMPARE(p.iconLand->item(0)->icon().availableSizes().value(0), QSize(64, 64));
    QCOMPARE(tileItem(p.iconLand, 2)->tiles(), ids({3, 4, 5}));

    // A tile without art keeps its label and has no icon.
    clickItem(p.listLand, p.listLand->topLevelItem(0)->child(1));
    QCOMPARE(p.iconLand->count(), 1);
    QTRY_COMPARE(p.pendingIcons(), 0);
    QCOMPARE(p.iconLand->item(0)->text(), QStringLiteral("0x9"));
    QVERIFY(p.iconLand->item(0)->icon().isNull());

    // Statics scale to fit 64 x 64 with their shape kept.
    p.tabWidget7->setCurrentIndex(0);
    p.listStatic->expandAll();
    clickItem(p.listStatic, p.listStatic->topLevelItem(0)->child(0));
    QTRY_COMPARE(p.pendingIcons(), 0);
    QCOMPARE(p.iconStatic->count(), 2);
    QCOMPARE(p.iconStatic->item(0)->icon().availableSizes().value(0), QSize(42, 64));
    QCOMPARE(iconCentre(p.iconStatic->item(0)), blue);
    QCOMPARE(p.iconStatic->item(1)->icon().availableSizes().value(0), QSize(64, 32));
    QCOMPARE(iconCentre(p.iconStatic->item(1)), red);
    QCOMPARE(p.iconLand->count(), 1); // the other kind's view is left alone
}

void PaletteTest::tileSetClickKeepsIconView()
{
    PaletteNew p(nullptr);
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    p.setFile(palette(kPalette));
    p.tabWidget7->setCurrentIndex(1);
    p.listLand->expandAll();
    QTreeWidgetItem *set = p.listLand->topLevelItem(0);
    clickItem(p.listLand, set);
    QCOMPARE(p.iconLand->count(), 0);

    clickItem(p.listLand, set->child(0));
    QTRY_COMPARE(p.pendingIcons(), 0);
    QListWidgetItem *first = p.iconLand->item(0);
    QCOMPARE(p.iconLand->count(), 5);
    clickItem(p.listLand, set);
    QCOMPARE(p.listLand->currentItem(), set);
    QCOMPARE(p.iconLand->count(), 5);
    QCOMPARE(p.iconLand->item(0), first);
    QCOMPARE(p.shownGroup(PaletteNew::Land), 0);
    QCOMPARE(p.pendingIcons(), 0);
    // Choosing the shown group again does not rebuild the view either.
    clickItem(p.listLand, set->child(0));
    QCOMPARE(p.iconLand->item(0), first);
    QCOMPARE(p.pendingIcons(), 0);
}

void PaletteTest::signalsCarryTypeTilesAndAltitude()
{
    PaletteNew p(nullptr);
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    p.setFile(palette(kPalette));
    QSignalSpy paint(&p, &PaletteNew::paintsig);
    QSignalSpy select(&p, &PaletteNew::tileselect);
    QSignalSpy alt(&p, &PaletteNew::AltChange);

    QTest::keyClicks(p.lineAlt, QStringLiteral(" +3"));
    QCOMPARE(alt.count(), 3);
    QCOMPARE(alt.at(0).at(0).toString(), QString());
    QCOMPARE(alt.at(2).at(0).toString(), QStringLiteral("+3"));
    p.lineAlt->setText(QStringLiteral("  --2\t"));
    QCOMPARE(alt.last().at(0).toString(), QStringLiteral("--2"));

    p.tabWidget7->setCurrentIndex(1);
    p.clicked(p.listLand->topLevelItem(0)->child(0));
    QTRY_COMPARE(p.pendingIcons(), 0);
    clickItem(p.iconLand, p.iconLand->item(2));
    QCOMPARE(paint.count(), 1);
    QCOMPARE(paint.at(0).at(0).toInt(), 0);
    QCOMPARE(paint.at(0).at(1).value<std::vector<int>>(), ids({3, 4, 5}));
    QCOMPARE(paint.at(0).at(2).toString(), QStringLiteral("--2"));
    QCOMPARE(select.count(), 0);

    clickItem(p.iconLand, p.iconLand->item(4), true);
    QCOMPARE(select.count(), 1);
    QCOMPARE(select.at(0).at(0).toInt(), 0);
    QCOMPARE(select.at(0).at(1).value<std::vector<int>>(), std::vector<int>()); // the empty random set
    QCOMPARE(select.at(0).at(2).toString(), QStringLiteral("--2"));

    p.lineAlt->clear();
    p.tabWidget7->setCurrentIndex(0);
    p.clicked(p.listStatic->topLevelItem(0)->child(0));
    QTRY_COMPARE(p.pendingIcons(), 0);
    paint.clear();
    select.clear();
    clickItem(p.iconStatic, p.iconStatic->item(1), true);
    QCOMPARE(select.count(), 1);
    QCOMPARE(select.at(0).at(0).toInt(), 1);
    QCOMPARE(select.at(0).at(1).value<std::vector<int>>(), ids({17}));
    QCOMPARE(select.at(0).at(2).toString(), QString());
    QVERIFY(paint.count() >= 1);
    QCOMPARE(paint.last().at(0).toInt(), 1);
    QCOMPARE(paint.last().at(1).value<std::vector<int>>(), ids({17}));

}

void PaletteTest::kindFollowsTheTreeNotTheTab()
{
    PaletteNew p(nullptr);
    p.setFile(palette(kPalette));
    QCOMPARE(p.tabWidget7->currentIndex(), 0); // statics shown
    // Land group 1 ("Nothing") becomes current while the statics tab is up: the land view
    // shows it; the statics view, which has no group 1, is untouched.
    p.listLand->setCurrentItem(p.listLand->topLevelItem(0)->child(1));
    QCOMPARE(p.shownGroup(PaletteNew::Land), 1);
    QCOMPARE(p.iconLand->count(), 1);
    QCOMPARE(p.iconLand->item(0)->text(), QStringLiteral("0x9"));
    QCOMPARE(p.shownGroup(PaletteNew::Statics), -1);
    QCOMPARE(p.iconStatic->count(), 0);
    QTRY_COMPARE(p.pendingIcons(), 0);
}

void PaletteTest::largeGroupDecodesInBatchesVisibleFirst()
{
    // Statics big enough that decoding all of them takes several batches.
    std::map<int, StaticLook> statics;
    QByteArray xml = "<p><tilesets><statics><tileset><group name=\"Many\">";
    for (int i = 0; i < 500; ++i) {
        statics[100 + i] = {160, 200, quint16(i % 2 ? kRed : kBlue)};
        xml += "<tile>" + QByteArray::number(100 + i) + "</tile>";
    }
    xml += "</group></tileset></statics></tilesets></p>";
    writeArt(m_client, {}, statics);

    PaletteNew p(nullptr);
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    p.setFile(palette(xml));
    p.clicked(p.listStatic->topLevelItem(0)->child(0));
    QCOMPARE(p.iconStatic->count(), 500);
    QCOMPARE(p.pendingIcons(), 500);
    QVERIFY(QApplication::overrideCursor());

    // Looking at the end of the group: one batch decodes what is on screen before the rest.
    p.iconStatic->scrollToBottom();
    PaletteTileItem *last = tileItem(p.iconStatic, 499);
    QVERIFY(p.iconStatic->visualItemRect(last).intersects(p.iconStatic->viewport()->rect()));
    QVERIFY(last->iconPending());
    QVERIFY(QMetaObject::invokeMethod(&p, "decodeIconBatch", Qt::DirectConnection));
    QVERIFY(!last->iconPending());
    QVERIFY(!last->icon().isNull());
    QVERIFY(p.pendingIcons() > 0);
    QVERIFY(tileItem(p.iconStatic, 250)->iconPending());
    QVERIFY(QApplication::overrideCursor());

    QTRY_COMPARE(p.pendingIcons(), 0);
    QVERIFY(!QApplication::overrideCursor());
    for (int row : {0, 250, 499}) {
        QVERIFY(!tileItem(p.iconStatic, row)->iconPending());
        QCOMPARE(iconCentre(p.iconStatic->item(row)), colourToArgb(row % 2 ? kRed : kBlue, 255));
    }
}

QTEST_MAIN(PaletteTest)
#include "palette_test.moc"
