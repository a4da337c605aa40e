// The compiled-in pictures: every image the main window looks up is there, has its size
// and shows something.
#include "app/mainwindow.h"
#include "support/testenv.h"

#include <QAction>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QSet>
#include <cstdlib>
#include <QtTest>

namespace {
struct ToolImage {
    const char *action; // the action (or submenu) showing the image
    const char *name;   // the name it is looked up by
};

// The images of the actions and of the File menu's Save submenu, as the window names them.
const ToolImage kToolImages[] = {
    {"editFindAction", "searchfind"},
    {"viewElevationFlatAction", "flatview.png"},
    {"viewElevationIsometricAction", "iso.png"},
    {"viewElevation3DAction", "3dview.png"},
    {"viewStaticsAction", "viewstaticson.png"},
    {"viewGridAction", "gridon.png"},
    {"windowClippingAction", "editcut"},
    {"viewAltitudesAction", "alton.png"},
    {"editSelectionStaticsAction", "selstaticon.png"},
    {"editSelectionLandAction", "selterrain.png"},
    {"windowPaletteAction", "palettetest.png"},
    {"fileSaveMul_FilesAction", "savetomul.png"},
    {"fileSaveDiff_FilesAction", "savetodif.png"},
    {"editSettingsGrid_ColorAction", "gridcolor.png"},
    {"viewTerrainEnableAction", "viewterrainon.png"},
    {"viewTerrainImageAction", "terrainimage.png"},
    {"viewTerrainColorAction", "terraincolor.png"},
    {"saveMenu", "filesave"},
};

QImage resourceImage(const QString &name)
{
    return QImage(QStringLiteral(":/images/") + name).convertToFormat(QImage::Format_ARGB32);
}

// An icon hands its pixmap back premultiplied, and turning that back into straight alpha
// rounds differently with the processor's vector unit. So both sides are compared
// premultiplied, and a semi-transparent pixel may still be one level off per channel; alpha
// and opaque pixels must match exactly.
bool samePixels(QImage a, QImage b)
{
    if (a.isNull() || b.isNull() || a.size() != b.size())
        return false;
    a = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    b = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < a.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (pa[x] == pb[x])
                continue;
            const int alpha = qAlpha(pa[x]);
            if (alpha != qAlpha(pb[x]) || alpha == 255 || std::abs(qRed(pa[x]) - qRed(pb[x])) > 1
                || std::abs(qGreen(pa[x]) - qGreen(pb[x])) > 1 || std::abs(qBlue(pa[x]) - qBlue(pb[x])) > 1)
                return false;
        }
    }
    return true;
}
} // namespace

class ResourcesTest : public QObject
{
    Q_OBJECT
private slots:
    void imageIsThereWithItsSizeAndNotBlank_data();
    void imageIsThereWithItsSizeAndNotBlank();
    void resourcesHoldExactlyTheImagesInUse();
    void toolImagesDifferFromEachOther();
    void windowShowsEachImageOnItsAction();
};

void ResourcesTest::imageIsThereWithItsSizeAndNotBlank_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("tz.png") << QStringLiteral("tz.png") << QSize(130, 130);
    for (const ToolImage &t : kToolImages)
        QTest::newRow(t.name) << QString::fromLatin1(t.name) << QSize(22, 22);
}

void ResourcesTest::imageIsThereWithItsSizeAndNotBlank()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage img = resourceImage(name);
    QVERIFY2(!img.isNull(), qPrintable(name + QLatin1String(" is missing from the resources")));
    QCOMPARE(img.size(), size);

    QSet<QRgb> colours;
    int opaque = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            if (qAlpha(px) == 255)
                ++opaque;
            if (qAlpha(px) > 0)
                colours.insert(px);
        }
    }
    // A picture someone can read: a good part of it drawn solid, in more than a couple of colours.
    QVERIFY2(opaque >= img.width() * img.height() / 16, qPrintable(QString::number(opaque)));
    QVERIFY2(colours.size() >= 6, qPrintable(QString::number(colours.size())));
}

void ResourcesTest::resourcesHoldExactlyTheImagesInUse()
{
    QStringList expected{QStringLiteral("tz.png")};
    for (const ToolImage &t : kToolImages)
        expected << QString::fromLatin1(t.name);
    expected.sort();
    QStringList found = QDir(QStringLiteral(":/images")).entryList(QDir::Files);
    found.sort();
    QCOMPARE(found, expected);
}

void ResourcesTest::toolImagesDifferFromEachOther()
{
    // Two commands with the same picture could not be told apart on the tool bar.
    const int n = int(std::size(kToolImages));
    for (int i = 0; i < n; ++i) {
        const QImage a = resourceImage(QString::fromLatin1(kToolImages[i].name));
        for (int j = i + 1; j < n; ++j) {
            const QImage b = resourceImage(QString::fromLatin1(kToolImages[j].name));
            QVERIFY2(a != b, qPrintable(QStringLiteral("%1 and %2 are the same picture")
                                            .arg(QLatin1String(kToolImages[i].name),
                                                 QLatin1String(kToolImages[j].name))));
        }
    }
}

void ResourcesTest::windowShowsEachImageOnItsAction()
{
    TestEnvironment env;
    mainWindow w;
    QVERIFY(samePixels(w.windowIcon().pixmap(130, 130).toImage(), resourceImage(QStringLiteral("tz.png"))));
    for (const ToolImage &t : kToolImages) {
        const QString name = QString::fromLatin1(t.action);
        QIcon icon;
        if (auto *action = w.findChild<QAction *>(name))
            icon = action->icon();
        else if (name == QLatin1String("saveMenu"))
            icon = w.saveMenu->icon();
        else
            QFAIL(qPrintable(QLatin1String("no action ") + name));
        QVERIFY2(samePixels(icon.pixmap(22, 22).toImage(), resourceImage(QString::fromLatin1(t.name))),
                 qPrintable(name + QLatin1String(" does not show ") + QLatin1String(t.name)));
    }
}

QTEST_MAIN(ResourcesTest)
#include "resources_test.moc"
