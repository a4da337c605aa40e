// The clipping dock driving the map view: limits set with the controls reach the view through
// the main window, and what they exclude disappears from the frame while the rest stays.
//
// The world: the small Felucca of smallworld.h seen flat in height colours around (10, 10),
// with a red static at z 18 on (12, 10) and a blue one at z 10 on (8, 10), each standing
// above its land.
#include "app/mainwindow.h"
#include "gui/smallworld.h"
#include "support/testenv.h"
#include "tools/clipwidget.h"
#include "tools/multiclip.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QSlider>
#include <QtTest>

using smallworld::landZ;

namespace {

constexpr int kRed = 100, kBlue = 101;

bool near(QRgb c, int r, int g, int b, int tolerance = 3)
{
    return std::abs(qRed(c) - r) <= tolerance && std::abs(qGreen(c) - g) <= tolerance
        && std::abs(qBlue(c) - b) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

bool black(QRgb c) { return near(c, 0, 0, 0); }

} // namespace

class ClipViewTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void landBelowHidesLowerLand();
    void staticsAboveHidesHigherStatics();

private:
    QImage frame() { return m_w->view()->grabFramebuffer(); }
    multiclip *clip() const { return qobject_cast<multiclip *>(m_w->clipDock()->widget()); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<mainWindow> m_w;
};

void ClipViewTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    const QString dir = m_env->root() + "/client";
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(smallworld::write(dir, {{kRed, 12, 10, 18}, {kBlue, 8, 10, 10}},
                              {{kRed, viewfixture::kRed}, {kBlue, viewfixture::kBlue}}));
    TestEnvironment::useDataDirectory(dir);
    m_w = std::make_unique<mainWindow>();
    m_w->resize(800, 600);
    m_w->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    m_w->clipDock()->show();
    QVERIFY(clip());
    GLMapWidget *v = m_w->view();
    v->setMode(0);
    v->setScale(1.0);
    v->setDegree(0.0);
    v->setTerrainMode(1);
    v->setCenter(10, 10);
}

void ClipViewTest::cleanupTestCase()
{
    m_w.reset();
    m_env.reset();
}

void ClipViewTest::landBelowHidesLowerLand()
{
    GLMapWidget *v = m_w->view();
    QVERIFY(landZ(10, 10) < 0 && landZ(12, 11) >= 0);
    const QPoint low = viewfixture::landPoint(*v, 10, 10), high = viewfixture::landPoint(*v, 12, 11);
    QVERIFY(!black(frame().pixel(low)) && !black(frame().pixel(high)));

    ClipWidget *land = clip()->landClip();
    land->comboBox1->setCurrentIndex(1); // Below
    land->slideBelow->setValue(0);
    QVERIFY(!v->landClip().belowOn); // moving alone switches nothing on
    land->checkBelow->click();
    QVERIFY(v->landClip().belowOn);
    QCOMPARE(v->landClip().below, 0);
    QImage img = frame();
    QVERIFY2(black(img.pixel(low)), qPrintable(describe(img.pixel(low))));
    QVERIFY2(!black(img.pixel(high)), qPrintable(describe(img.pixel(high))));

    land->checkBelow->click();
    QVERIFY(!black(frame().pixel(low)));
}

void ClipViewTest::staticsAboveHidesHigherStatics()
{
    GLMapWidget *v = m_w->view();
    QVERIFY(landZ(12, 10) < 18 && landZ(8, 10) < 10);
    v->setStatics(true);
    const QPoint red = viewfixture::staticPoint(*v, 12, 10, 20, 30);
    const QPoint blue = viewfixture::staticPoint(*v, 8, 10, 20, 30);
    QImage img = frame();
    QVERIFY2(near(img.pixel(red), 248, 0, 0), qPrintable(describe(img.pixel(red))));
    QVERIFY2(near(img.pixel(blue), 0, 0, 248), qPrintable(describe(img.pixel(blue))));

    ClipWidget *statics = clip()->staticClip();
    statics->comboBox1->setCurrentIndex(0); // Above
    statics->slideAbove->setValue(15);
    statics->checkAbove->click();
    QCOMPARE(v->staticClip().above, 15);
    img = frame();
    QVERIFY2(!near(img.pixel(red), 248, 0, 0), qPrintable(describe(img.pixel(red))));
    QVERIFY2(near(img.pixel(blue), 0, 0, 248), qPrintable(describe(img.pixel(blue))));
    // The land under a hidden static is still drawn.
    QVERIFY(!black(img.pixel(red)));
    statics->checkAbove->click();
    v->setStatics(false);
}

QTEST_MAIN(ClipViewTest)
#include "clip_view_test.moc"
