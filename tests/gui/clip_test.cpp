// The clipping controls: one pair of limits per ClipWidget, statics and land in multiclip.
#include "support/testenv.h"
#include "tools/clipwidget.h"
#include "tools/multiclip.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLCDNumber>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QtTest>

#include <array>
#include <memory>

namespace {
// The eight signals of multiclip, in their declared order, with a spy each.
struct ClipSpies {
    static constexpr std::array<const char *, 8> names{
        "staticAbove", "staticChangeAbove", "staticBelow", "staticChangeBelow",
        "landAbove",   "landChangeAbove",   "landBelow",   "landChangeBelow"};

    explicit ClipSpies(multiclip *clip)
        : spies{std::make_unique<QSignalSpy>(clip, &multiclip::staticAbove),
                std::make_unique<QSignalSpy>(clip, &multiclip::staticChangeAbove),
                std::make_unique<QSignalSpy>(clip, &multiclip::staticBelow),
                std::make_unique<QSignalSpy>(clip, &multiclip::staticChangeBelow),
                std::make_unique<QSignalSpy>(clip, &multiclip::landAbove),
                std::make_unique<QSignalSpy>(clip, &multiclip::landChangeAbove),
                std::make_unique<QSignalSpy>(clip, &multiclip::landBelow),
                std::make_unique<QSignalSpy>(clip, &multiclip::landChangeBelow)}
    {
    }

    // "name(value)" for every signal sent, in the order of the names.
    QStringList sent() const
    {
        QStringList out;
        for (std::size_t i = 0; i < spies.size(); ++i) {
            for (const QList<QVariant> &args : *spies[i])
                out << QStringLiteral("%1(%2)").arg(QLatin1String(names[i]), args.at(0).toString());
        }
        return out;
    }
    void clear()
    {
        for (auto &spy : spies)
            spy->clear();
    }

    std::array<std::unique_ptr<QSignalSpy>, 8> spies;
};
} // namespace

class ClipTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void clipWidgetStartsAtTheViewsLimits();
    void multiclipHoldsStaticsAndLandPages();
    void belowSwitchesBothPages();
    void eachControlSendsItsOwnSignal_data();
    void eachControlSendsItsOwnSignal();
    void landSliderLeavesTheStaticsAlone();
    void sliderAtTheBottomSendsAndShowsMinus128();
    void enableWithoutMovingSwitchesOnAtTheShownLimit();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void ClipTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
}

void ClipTest::clipWidgetStartsAtTheViewsLimits()
{
    ClipWidget clip;
    QCOMPARE(clip.objectName(), QStringLiteral("ClipWidget"));
    QCOMPARE(clip.windowTitle(), QStringLiteral("Clipping"));
    QCOMPARE(clip.comboBox1->count(), 2);
    QCOMPARE(clip.comboBox1->itemText(0), QStringLiteral("Above"));
    QCOMPARE(clip.comboBox1->itemText(1), QStringLiteral("Below"));
    QVERIFY(!clip.comboBox1->isEditable());
    QCOMPARE(clip.widgetStack1->currentIndex(), 0);
    QCOMPARE(clip.widgetStack2->currentIndex(), 0);
    for (QSlider *slider : {clip.slideAbove, clip.slideBelow}) {
        QCOMPARE(slider->minimum(), -128);
        QCOMPARE(slider->maximum(), 127);
        QCOMPARE(slider->orientation(), Qt::Horizontal);
        QVERIFY(slider->hasTracking());
    }
    QCOMPARE(clip.slideAbove->value(), 127);
    QCOMPARE(clip.lcdAbove->intValue(), 127);
    QCOMPARE(clip.slideBelow->value(), -128);
    QCOMPARE(clip.lcdBelow->intValue(), -128);
    QVERIFY(!clip.checkAbove->isChecked());
    QVERIFY(!clip.checkBelow->isChecked());
    QCOMPARE(clip.checkAbove->text(), QStringLiteral("Enable"));
    QCOMPARE(clip.checkBelow->text(), QStringLiteral("Enable"));
    QVERIFY(clip.width() >= 195 && clip.height() >= 156);
}

void ClipTest::multiclipHoldsStaticsAndLandPages()
{
    multiclip clip;
    QCOMPARE(clip.objectName(), QStringLiteral("multiclip"));
    QCOMPARE(clip.windowTitle(), QStringLiteral("Clipping"));
    QCOMPARE(clip.comboBox1->itemText(0), QStringLiteral("Statics"));
    QCOMPARE(clip.comboBox1->itemText(1), QStringLiteral("Land"));
    // The form's placeholder page is gone; only the two clip controls remain.
    QCOMPARE(clip.widgetStack1->count(), 2);
    QVERIFY(clip.staticClip() != clip.landClip());
    QCOMPARE(clip.page(multiclip::StaticsPage), clip.staticClip());
    QCOMPARE(clip.page(multiclip::LandPage), clip.landClip());
    QCOMPARE(clip.page(0), nullptr);
    QCOMPARE(clip.visiblePage(), 1);
    QCOMPARE(clip.staticClip()->parent(), clip.widgetStack1); // reparented by the stack

    clip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clip));
    QTest::keyClick(clip.comboBox1, Qt::Key_Down);
    QCOMPARE(clip.visiblePage(), 2);
    QVERIFY(clip.landClip()->isVisible());
    QVERIFY(!clip.staticClip()->isVisible());
    clip.selectStack(0);
    QCOMPARE(clip.visiblePage(), 1);
    clip.selectStack(5); // no such page: stays
    QCOMPARE(clip.visiblePage(), 1);
}

void ClipTest::belowSwitchesBothPages()
{
    ClipWidget clip;
    clip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clip));
    QVERIFY(clip.checkAbove->isVisible() && clip.slideAbove->isVisible() && clip.lcdAbove->isVisible());

    // Choosing "Below" as the user does: the box and the slider of the lower limit, together.
    QTest::keyClick(clip.comboBox1, Qt::Key_Down);
    QCOMPARE(clip.comboBox1->currentText(), QStringLiteral("Below"));
    QVERIFY(clip.checkBelow->isVisible());
    QVERIFY(clip.slideBelow->isVisible());
    QVERIFY(clip.lcdBelow->isVisible());
    QVERIFY(!clip.checkAbove->isVisible());
    QVERIFY(!clip.slideAbove->isVisible());

    QTest::keyClick(clip.comboBox1, Qt::Key_Up);
    QVERIFY(clip.checkAbove->isVisible() && clip.slideAbove->isVisible());
    QVERIFY(!clip.checkBelow->isVisible() && !clip.slideBelow->isVisible());
}

void ClipTest::eachControlSendsItsOwnSignal_data()
{
    QTest::addColumn<bool>("land");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("expected");
    for (const bool land : {false, true}) {
        const char *kind = land ? "land" : "static";
        const auto row = [&](const char *control, const char *signal, const char *value) {
            QTest::addRow("%s %s", kind, control)
                << land << QString::fromLatin1(control)
                << QStringLiteral("%1%2(%3)").arg(QLatin1String(kind), QLatin1String(signal),
                                                  QLatin1String(value));
        };
        row("slideAbove", "ChangeAbove", "40");
        row("slideBelow", "ChangeBelow", "-40");
        row("checkAbove", "Above", "true");
        row("checkBelow", "Below", "true");
    }
}

void ClipTest::eachControlSendsItsOwnSignal()
{
    QFETCH(bool, land);
    QFETCH(QString, control);
    QFETCH(QString, expected);
    multiclip clip;
    ClipSpies spies(&clip);
    ClipWidget *target = land ? clip.landClip() : clip.staticClip();
    if (control == QLatin1String("slideAbove"))
        target->slideAbove->setValue(40);
    else if (control == QLatin1String("slideBelow"))
        target->slideBelow->setValue(-40);
    else if (control == QLatin1String("checkAbove"))
        target->checkAbove->click();
    else
        target->checkBelow->click();
    QCOMPARE(spies.sent(), QStringList{expected});
}

void ClipTest::landSliderLeavesTheStaticsAlone()
{
    multiclip clip;
    clip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clip));
    QTest::keyClick(clip.comboBox1, Qt::Key_Down); // Land
    ClipSpies spies(&clip);
    ClipWidget *land = clip.landClip();
    // Three steps down from the top with the keyboard; the slider sends each one.
    land->slideAbove->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(land->slideAbove, Qt::Key_Left);
    QCOMPARE(spies.sent(), (QStringList{"landChangeAbove(126)", "landChangeAbove(125)",
                                        "landChangeAbove(124)"}));
    QCOMPARE(land->lcdAbove->intValue(), 124);
    // The statics control kept its own state.
    QCOMPARE(clip.staticClip()->slideAbove->value(), 127);
    QCOMPARE(clip.staticClip()->lcdAbove->intValue(), 127);
}

void ClipTest::sliderAtTheBottomSendsAndShowsMinus128()
{
    multiclip clip;
    clip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clip));
    ClipSpies spies(&clip);
    ClipWidget *statics = clip.staticClip();
    statics->slideAbove->setFocus();
    QTest::keyClick(statics->slideAbove, Qt::Key_Home); // all the way down
    QCOMPARE(statics->slideAbove->value(), -128);
    QCOMPARE(spies.sent(), QStringList{"staticChangeAbove(-128)"});
    QCOMPARE(statics->lcdAbove->intValue(), -128);
    QVERIFY(!statics->lcdAbove->checkOverflow(-128)); // all four characters fit
}

void ClipTest::enableWithoutMovingSwitchesOnAtTheShownLimit()
{
    multiclip clip;
    clip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clip));
    ClipSpies spies(&clip);
    ClipWidget *statics = clip.staticClip();

    // Only the switch is sent: the view already holds the limits the controls show.
    QTest::mouseClick(statics->checkAbove, Qt::LeftButton);
    QCOMPARE(spies.sent(), QStringList{"staticAbove(true)"});
    QCOMPARE(statics->slideAbove->value(), 127);
    QCOMPARE(statics->lcdAbove->intValue(), 127);

    spies.clear();
    QTest::keyClick(statics->comboBox1, Qt::Key_Down);
    QTest::mouseClick(statics->checkBelow, Qt::LeftButton);
    QCOMPARE(spies.sent(), QStringList{"staticBelow(true)"});
    QCOMPARE(statics->lcdBelow->intValue(), -128);

    spies.clear();
    QTest::mouseClick(statics->checkBelow, Qt::LeftButton);
    QCOMPARE(spies.sent(), QStringList{"staticBelow(false)"});
}

QTEST_MAIN(ClipTest)
#include "clip_test.moc"
