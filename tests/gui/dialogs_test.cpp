// The small dialogs: Goto, Properties, Query, Clear Tiles, About and the command list.
#include "app/mainwindow.h"
#include "dialogs/aboutwidget.h"
#include "dialogs/cleardialog.h"
#include "dialogs/findwidget.h"
#include "dialogs/helpcommand.h"
#include "dialogs/propwidget.h"
#include "dialogs/querywidget.h"
#include "sampleworld/catalog.h"
#include "support/testenv.h"
#include "tiles/artstore.h"
#include "world/datadirectory.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTimer>
#include <QValidator>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

using DialogMaker = std::function<QDialog *()>;
Q_DECLARE_METATYPE(DialogMaker)

namespace {
Tile landTile(int id, int z, const QString &name = QString())
{
    TileInfo info;
    info.id = id;
    info.name = name;
    info.kind = TileKind::Land;
    return Tile(info, z);
}

Tile staticTile(int id, int z, int hue, const QString &name = QString())
{
    TileInfo info;
    info.id = id;
    info.name = name;
    info.hue = quint16(hue);
    info.kind = TileKind::Static;
    return Tile(info, z);
}

QStringList lines(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QValidator::State validate(const QLineEdit *edit, QString text)
{
    int pos = 0;
    return edit->validator()->validate(text, pos);
}

// The arguments of one tileChange in their sending order.
QList<int> changeArguments(const QSignalSpy &spy, int i)
{
    QList<int> out;
    for (const QVariant &v : spy.at(i))
        out << v.toInt();
    return out;
}

void sendLanguageChange(QWidget *w)
{
    QEvent event(QEvent::LanguageChange);
    QCoreApplication::sendEvent(w, &event);
}
} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void formsCarryNameCaptionAndIcon_data();
    void formsCarryNameCaptionAndIcon();

    void gotoSendsOnlyCoordinatesInsideTheFacet_data();
    void gotoSendsOnlyCoordinatesInsideTheFacet();
    void gotoTypingStopsAtTheFacetEdge();

    void landPropertiesListCellsInOrderWithoutHue();
    void landApplySendsOnlyAChangedAltitude();
    void staticApplyAlwaysSendsAndRewritesTheLine();
    void equalStaticsOnOneCellStaySeparate();
    void picturesFitTheSquare();
    void parseNumber_data();
    void parseNumber();
    void hueFieldTakesDecimalAndHex_data();
    void hueFieldTakesDecimalAndHex();

    void queryValueRoundTripAndButtons();

    void clearFieldsTakeTheLargestFacetWhateverIsOpen();
    void clearCornersReadTheirOwnFields();

    void commandListNamesTheKeys();
    void commandListFollowsTheWindowsMenuKeys();
    void aboutBoxShowsImageAndCloses();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void DialogsTest::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    // Properties draws its pictures from the client's art files.
    TestEnvironment::useDataDirectory(TestEnvironment::smallSample());
}

void DialogsTest::formsCarryNameCaptionAndIcon_data()
{
    QTest::addColumn<DialogMaker>("make");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("modal");
    using Make = DialogMaker;
    QTest::newRow("goto") << Make([] { return new FindWidget; }) << "FindWidget" << "Goto" << false;
    QTest::newRow("properties") << Make([] { return new PropWidget; }) << "PropWidget"
                                << "Properties" << false;
    QTest::newRow("query") << Make([] { return new QueryWidget; }) << "QueryWidget" << "Query" << true;
    QTest::newRow("clear") << Make([] { return new ClearDialog; }) << "ClearDialog" << "Clear Tiles"
                           << true;
    QTest::newRow("about") << Make([] { return new AboutWidget; }) << "AboutWidget"
                           << "About Tessaryn" << true;
    QTest::newRow("commands") << Make([] { return new HelpCommand; }) << "HelpCommand"
                              << "Command List" << true;
}

void DialogsTest::formsCarryNameCaptionAndIcon()
{
    QFETCH(DialogMaker, make);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, modal);
    std::unique_ptr<QDialog> dialog(make());
    QCOMPARE(dialog->objectName(), name);
    QCOMPARE(dialog->windowTitle(), caption);
    QCOMPARE(dialog->isModal(), modal);
    // The application image, compiled into the program.
    QVERIFY(!dialog->windowIcon().pixmap(32, 32).isNull());
    // Texts are set again on a language change, and stay what they were.
    sendLanguageChange(dialog.get());
    QCOMPARE(dialog->windowTitle(), caption);
}

void DialogsTest::gotoSendsOnlyCoordinatesInsideTheFacet_data()
{
    QTest::addColumn<int>("facet");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<bool>("sent");
    QTest::newRow("Felucca, the far corner itself") << 0 << "6144" << "4096" << true;
    QTest::newRow("Felucca, origin") << 0 << "0" << "0" << true;
    QTest::newRow("Felucca, one past the width") << 0 << "6145" << "10" << false;
    QTest::newRow("Felucca, one past the height") << 0 << "10" << "4097" << false;
    QTest::newRow("Ilshenar, its width") << 2 << "2304" << "1600" << true;
    QTest::newRow("Ilshenar, Felucca's width") << 2 << "6144" << "10" << false;
    QTest::newRow("Malas, its corner") << 3 << "2560" << "2048" << true;
    QTest::newRow("x not a number") << 0 << "abc" << "10" << false;
    QTest::newRow("y empty") << 0 << "10" << "" << false;
    QTest::newRow("negative") << 0 << "-5" << "10" << false;
    QTest::newRow("hexadecimal") << 0 << "0x10" << "10" << false;
}

void DialogsTest::gotoSendsOnlyCoordinatesInsideTheFacet()
{
    QFETCH(int, facet);
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(bool, sent);
    FindWidget find;
    find.setMap(facet);
    QSignalSpy spy(&find, &FindWidget::setXY);
    find.lineEditX->setText(x);
    find.lineEditY->setText(y);
    // Through the button, as the user does; the dialog stays open.
    find.show();
    QTest::mouseClick(find.pushFind, Qt::LeftButton);
    QCOMPARE(spy.count(), sent ? 1 : 0);
    if (sent) {
        QCOMPARE(spy.at(0).at(0).toInt(), x.toInt());
        QCOMPARE(spy.at(0).at(1).toInt(), y.toInt());
        QVERIFY(find.problem().isEmpty());
    } else {
        // A refused Goto says what it takes, for the field that is wrong.
        const bool xWrong = !find.lineEditX->hasAcceptableInput() || x.isEmpty();
        const QString range = xWrong ? QStringLiteral("X must be a whole number from 0 to %1.").arg(facetBlocksX(facet) * 8)
                                     : QStringLiteral("Y must be a whole number from 0 to %1.").arg(facetBlocksY(facet) * 8);
        QCOMPARE(find.problem(), range);
    }
    QVERIFY(find.isVisible());
}

void DialogsTest::gotoTypingStopsAtTheFacetEdge()
{
    FindWidget find;
    QCOMPARE(validate(find.lineEditX, QStringLiteral("6144")), QValidator::Acceptable);
    QCOMPARE(validate(find.lineEditY, QStringLiteral("4096")), QValidator::Acceptable);
    QTest::keyClicks(find.lineEditX, QStringLiteral("61449"));
    QCOMPARE(find.lineEditX->text(), QStringLiteral("6144"));
    find.setMap(2);
    QCOMPARE(validate(find.lineEditX, QStringLiteral("2304")), QValidator::Acceptable);
    QVERIFY(validate(find.lineEditX, QStringLiteral("2305")) != QValidator::Acceptable);
    QVERIFY(validate(find.lineEditY, QStringLiteral("1601")) != QValidator::Acceptable);
    find.lineEditY->clear();
    QTest::keyClicks(find.lineEditY, QStringLiteral("y12"));
    QCOMPARE(find.lineEditY->text(), QStringLiteral("12"));
}

void DialogsTest::landPropertiesListCellsInOrderWithoutHue()
{
    PropWidget prop;
    landfix cells;
    cells[12][4] = landTile(0x3, -7, QStringLiteral("grass"));
    cells[3][40] = landTile(0xa8, 20, QStringLiteral("water"));
    prop.initLandData(cells);
    QCOMPARE(prop.windowTitle(), QStringLiteral("Land Properties"));
    QCOMPARE(lines(prop.listBox1), (QStringList{"3,40,0xa8", "12,4,0x3"}));
    QCOMPARE(prop.listBox1->currentRow(), 0);
    QVERIFY(!prop.lineHue->isEnabled());
    QVERIFY(!prop.textHue->isEnabled());
    QCOMPARE(prop.lineAlt->text(), QStringLiteral("20"));
    QCOMPARE(prop.textName->text(), QStringLiteral("water"));
    // Moving to the other line shows that cell.
    prop.listBox1->setCurrentRow(1);
    QCOMPARE(prop.lineAlt->text(), QStringLiteral("-7"));
    QCOMPARE(prop.textName->text(), QStringLiteral("grass"));
    // The caption follows the kind through a language change.
    sendLanguageChange(&prop);
    QCOMPARE(prop.windowTitle(), QStringLiteral("Land Properties"));
}

void DialogsTest::landApplySendsOnlyAChangedAltitude()
{
    PropWidget prop;
    landfix cells;
    cells[100][200] = landTile(0x44, 5);
    prop.initLandData(cells);
    QSignalSpy spy(&prop, &PropWidget::tileChange);

    QTest::mouseClick(prop.pushButton2, Qt::LeftButton);
    QCOMPARE(spy.count(), 0);

    prop.lineAlt->setText(QStringLiteral(" 9 "));
    QTest::mouseClick(prop.pushButton2, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    // id, x, y, listed z, hue, new altitude, kind
    QCOMPARE(changeArguments(spy, 0), (QList<int>{0x44, 100, 200, 5, 0, 9, 0}));

    // The dialog's copy now holds 9: the same Apply again changes nothing.
    prop.applyButton();
    QCOMPARE(spy.count(), 1);
    prop.selectTile(0);
    QCOMPARE(prop.lineAlt->text(), QStringLiteral("9"));

    // No altitude at all is no change; a height past the top goes to 127.
    prop.lineAlt->setText(QStringLiteral("-"));
    prop.applyButton();
    prop.lineAlt->clear();
    prop.applyButton();
    QCOMPARE(spy.count(), 1);
    prop.lineAlt->setText(QStringLiteral("200"));
    prop.applyButton();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(changeArguments(spy, 1), (QList<int>{0x44, 100, 200, 9, 0, 127, 0}));
    QCOMPARE(prop.lineAlt->text(), QStringLiteral("127"));
}

void DialogsTest::staticApplyAlwaysSendsAndRewritesTheLine()
{
    PropWidget prop;
    staticfix cells;
    cells[7][8] = {staticTile(0x1f4, 0, 0, QStringLiteral("barrel")), staticTile(0x4000, 12, 5)};
    cells[2][9] = {staticTile(0xabc, -3, 0)};
    prop.initStaticData(cells);
    QCOMPARE(prop.windowTitle(), QStringLiteral("Static Properties"));
    QCOMPARE(lines(prop.listBox1), (QStringList{"2,9,-3,0xabc", "7,8,0,0x1f4", "7,8,12,0x4000"}));
    QVERIFY(prop.lineHue->isEnabled());

    prop.listBox1->setCurrentRow(2);
    QCOMPARE(prop.lineAlt->text(), QStringLiteral("12"));
    QCOMPARE(prop.lineHue->text(), QStringLiteral("5"));

    QSignalSpy spy(&prop, &PropWidget::tileChange);
    // Unchanged: statics still send, for a hue may be all that changed.
    prop.applyButton();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(changeArguments(spy, 0), (QList<int>{0x4000, 7, 8, 12, 5, 12, 1}));
    QCOMPARE(lines(prop.listBox1).at(2), QStringLiteral("7,8,12,0x4000"));

    // New height and a hexadecimal hue: the signal carries the listed z, the line the new one.
    prop.lineAlt->setText(QStringLiteral("-20"));
    prop.lineHue->setText(QStringLiteral("0x21"));
    prop.applyButton();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(changeArguments(spy, 1), (QList<int>{0x4000, 7, 8, 12, 33, -20, 1}));
    QCOMPARE(lines(prop.listBox1).at(2), QStringLiteral("7,8,-20,0x4000"));

    // A hue that is no number counts as 0; the next change starts from the new height.
    prop.lineHue->setText(QStringLiteral("red"));
    prop.applyButton();
    QCOMPARE(changeArguments(spy, 2), (QList<int>{0x4000, 7, 8, -20, 0, -20, 1}));

    // Coming back to the line shows what the copy now holds.
    prop.listBox1->setCurrentRow(0);
    QCOMPARE(prop.lineAlt->text(), QStringLiteral("-3"));
    prop.listBox1->setCurrentRow(2);
    QCOMPARE(prop.lineAlt->text(), QStringLiteral("-20"));
    QCOMPARE(prop.lineHue->text(), QStringLiteral("0"));
}

void DialogsTest::equalStaticsOnOneCellStaySeparate()
{
    // Two statics of one id at one height on one cell: each line edits its own.
    PropWidget prop;
    staticfix cells;
    cells[4][4] = {staticTile(0x10, 3, 1), staticTile(0x10, 3, 2)};
    prop.initStaticData(cells);
    QCOMPARE(lines(prop.listBox1), (QStringList{"4,4,3,0x10", "4,4,3,0x10"}));
    prop.listBox1->setCurrentRow(1);
    QCOMPARE(prop.lineHue->text(), QStringLiteral("2"));
    prop.lineAlt->setText(QStringLiteral("8"));
    prop.applyButton();
    QCOMPARE(lines(prop.listBox1), (QStringList{"4,4,3,0x10", "4,4,8,0x10"}));
    prop.listBox1->setCurrentRow(0);
    QCOMPARE(prop.lineAlt->text(), QStringLiteral("3"));
    QCOMPARE(prop.lineHue->text(), QStringLiteral("1"));

    // Filling again with land replaces the lines and turns the hue field off.
    landfix land;
    land[1][1] = landTile(2, 0);
    prop.initLandData(land);
    QCOMPARE(lines(prop.listBox1), QStringList{"1,1,0x2"});
    QVERIFY(!prop.lineHue->isEnabled());
}

void DialogsTest::picturesFitTheSquare()
{
    // The first land and static the sample world draws.
    const auto &lands = sampleworld::landDefs();
    const auto &statics = sampleworld::staticDefs();
    const auto drawnLand = std::find_if(lands.begin(), lands.end(), [](const auto &d) {
        return d.look != sampleworld::Look::None;
    });
    const auto drawnStatic = std::find_if(statics.begin(), statics.end(), [](const auto &d) {
        return d.look != sampleworld::Look::None;
    });
    QVERIFY(drawnLand != lands.end() && drawnStatic != statics.end());
    const sampleworld::LandDef land = *drawnLand;
    const sampleworld::StaticDef stat = *drawnStatic;
    ArtStore art;
    const QImage staticImage = art.staticArt(stat.id, 255);
    QVERIFY(!art.landArt(land.id, 255).isNull());
    QVERIFY(!staticImage.isNull());

    PropWidget prop;
    landfix cells;
    cells[0][0] = landTile(land.id, 0);
    prop.initLandData(cells);
    // The 44 x 44 diamond grows to the 64 x 64 square.
    QCOMPARE(prop.pixmapLabel1->pixmap().size(), QSize(64, 64));

    staticfix cell;
    cell[0][0] = {staticTile(stat.id, 0, 0)};
    prop.initStaticData(cell);
    QCOMPARE(prop.pixmapLabel1->pixmap().size(), staticImage.size().scaled(64, 64, Qt::KeepAspectRatio));

    // A tile without art shows no picture rather than the previous one.
    cell[0][0] = {staticTile(0xFFFF, 0, 0)};
    prop.initStaticData(cell);
    QVERIFY(prop.pixmapLabel1->pixmap().isNull());
}

void DialogsTest::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("0x lower case") << "0x21" << true << 33;
    QTest::newRow("0X upper case, mixed digits") << "0X1fA" << true << 0x1fa;
    QTest::newRow("blanks around") << "  0x21 \t" << true << 33;
    QTest::newRow("decimal") << "33" << true << 33;
    QTest::newRow("decimal with blanks") << " 120 " << true << 120;
    QTest::newRow("negative decimal") << "-5" << true << -5;
    QTest::newRow("leading zero is still decimal") << "010" << true << 10;
    QTest::newRow("prefix alone") << "0x" << false << 0;
    QTest::newRow("blank after the prefix") << "0x 21" << false << 0;
    QTest::newRow("sign after the prefix") << "0x-5" << false << 0;
    QTest::newRow("not hexadecimal") << "0xg1" << false << 0;
    QTest::newRow("hexadecimal without prefix") << "1f" << false << 0;
    QTest::newRow("garbage") << "red" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("too large") << "0x100000000" << false << 0;
}

void DialogsTest::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    PropWidget prop;
    bool parsed = !ok;
    QCOMPARE(prop.parseNumber(text, &parsed), value);
    QCOMPARE(parsed, ok);
}

void DialogsTest::hueFieldTakesDecimalAndHex_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    QTest::newRow("largest hue") << "3000" << int(QValidator::Acceptable);
    QTest::newRow("largest hue in hexadecimal") << "0xBB8" << int(QValidator::Acceptable);
    QTest::newRow("no hue") << "0" << int(QValidator::Acceptable);
    QTest::newRow("past the hues") << "3001" << int(QValidator::Invalid);
    QTest::newRow("past the hues in hexadecimal") << "0xbb9" << int(QValidator::Invalid);
    QTest::newRow("prefix being typed") << "0x" << int(QValidator::Intermediate);
    QTest::newRow("empty") << "" << int(QValidator::Intermediate);
    QTest::newRow("negative") << "-1" << int(QValidator::Invalid);
    QTest::newRow("letters") << "red" << int(QValidator::Invalid);
}

void DialogsTest::hueFieldTakesDecimalAndHex()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    PropWidget prop;
    QCOMPARE(int(validate(prop.lineHue, text)), state);
}

void DialogsTest::queryValueRoundTripAndButtons()
{
    QueryWidget query;
    query.setWindowTitle(QStringLiteral("Altitude"));
    query.value(QStringLiteral("0x10"));
    QCOMPARE(query.value(), QStringLiteral("0x10"));
    query.lineEdit3->setText(QStringLiteral("+5"));
    QCOMPARE(query.value(), QStringLiteral("+5"));
    // The asker's prompt survives a language change.
    sendLanguageChange(&query);
    QCOMPARE(query.windowTitle(), QStringLiteral("Altitude"));

    QTimer::singleShot(0, query.pushButton3, &QPushButton::click);
    QCOMPARE(query.exec(), int(QDialog::Accepted));
    QCOMPARE(query.value(), QStringLiteral("+5"));
    QTimer::singleShot(0, query.pushButton4, &QPushButton::click);
    QCOMPARE(query.exec(), int(QDialog::Rejected));
    // Enter in the field answers Ok.
    QTimer::singleShot(0, &query, [&query] { QTest::keyClick(query.lineEdit3, Qt::Key_Return); });
    QCOMPARE(query.exec(), int(QDialog::Accepted));
}

void DialogsTest::clearFieldsTakeTheLargestFacetWhateverIsOpen()
{
    mainWindow w;
    w.fileMap2(); // Ilshenar, 2304 x 1600: the fields still take Felucca's size
    ClearDialog dialog(&w);
    QVERIFY(!dialog.checkStatics->isChecked());
    QVERIFY(!dialog.checkLand->isChecked());
    for (QLineEdit *x : {dialog.lineX, dialog.lineX_2}) {
        QCOMPARE(validate(x, QStringLiteral("6144")), QValidator::Acceptable);
        QVERIFY(validate(x, QStringLiteral("6145")) != QValidator::Acceptable);
        QTest::keyClicks(x, QStringLiteral("61449"));
        QCOMPARE(x->text(), QStringLiteral("6144"));
    }
    for (QLineEdit *y : {dialog.lineY, dialog.lineY_2}) {
        QCOMPARE(validate(y, QStringLiteral("4096")), QValidator::Acceptable);
        QVERIFY(validate(y, QStringLiteral("4097")) != QValidator::Acceptable);
        QTest::keyClicks(y, QStringLiteral("40969"));
        QCOMPARE(y->text(), QStringLiteral("4096"));
    }
}

void DialogsTest::clearCornersReadTheirOwnFields()
{
    ClearDialog dialog;
    dialog.lineX->setText(QStringLiteral("1"));
    dialog.lineY->setText(QStringLiteral("2"));
    dialog.lineX_2->setText(QStringLiteral("30"));
    dialog.lineY_2->setText(QStringLiteral("40"));
    QCOMPARE((QList<int>{dialog.getX1(), dialog.getY1(), dialog.getX2(), dialog.getY2()}),
             (QList<int>{1, 2, 30, 40}));
    dialog.lineY->setText(QStringLiteral("x"));
    dialog.lineX_2->clear();
    QCOMPARE(dialog.getY1(), -1);
    QCOMPARE(dialog.getX2(), -1);
    dialog.checkLand->setChecked(true);
    QVERIFY(dialog.getLand());
    QVERIFY(!dialog.getStatics());

    QTimer::singleShot(0, dialog.pushButton2, &QPushButton::click);
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QTimer::singleShot(0, dialog.pushButton3, &QPushButton::click);
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

void DialogsTest::commandListNamesTheKeys()
{
    HelpCommand help;
    const QString text = QLatin1Char('\n') + help.textBrowser2->toPlainText();
    // The headings in the order a newcomer reads them.
    const QStringList headings{"Scrolling", "Rotation", "Zoom", "Tilt", "Shift", "Painting",
                               "Insert", "Selected tiles", "Delete", "Ctrl+Arrow",
                               "Ctrl+Page Up / Ctrl+Page Down", "Ctrl+Home / Ctrl+End",
                               "Elevation: F1 / F2", "Cancel: Escape", "Moving or copying statics"};
    qsizetype at = -1;
    for (const QString &heading : headings) {
        const qsizetype next = text.indexOf(QLatin1Char('\n') + heading + QLatin1Char('\n'), at + 1);
        QVERIFY2(next > at, qPrintable(heading));
        at = next;
    }
    for (const char *key : {"Home", "End", "Page Up", "Page Down", "mouse wheel", "+ and -",
                            "Ctrl+Up", "Ctrl+Down", "Ctrl+Left", "Ctrl+Right", "F1", "F2",
                            "(Y - 1)", "(X + 1)", "(X - 1)", "(Y + 1)", "Edit \u2192 Selection"})
        QVERIFY2(text.contains(QString::fromUtf8(key)), key);
    QVERIFY(text.trimmed().endsWith(QStringLiteral("not enabled in 3D mode.")));
    // Without the main window there are no menu keys to list.
    QVERIFY(!text.contains(QStringLiteral("Menu keys")));
}

void DialogsTest::commandListFollowsTheWindowsMenuKeys()
{
    mainWindow w;
    HelpCommand help(&w);
    const QString text = help.textBrowser2->toPlainText();
    QVERIFY(text.contains(QStringLiteral("Menu keys")));
    // Every key the window's actions answer to is on the page, after its entry.
    int listed = 0;
    for (const QAction *action : w.findChildren<QAction *>()) {
        if (action->shortcut().isEmpty())
            continue;
        QString entry = action->text();
        entry.remove(QLatin1Char('&'));
        const QString key = action->shortcut().toString(QKeySequence::NativeText);
        const QRegularExpression row(QRegularExpression::escape(entry) + QStringLiteral("\\s+") +
                                     QRegularExpression::escape(key));
        QVERIFY2(text.contains(row), qPrintable(entry + QLatin1Char(' ') + key));
        ++listed;
    }
    QVERIFY(listed >= 5);
    // The two keys this program chose for itself.
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("Flat\\s+Ctrl\\+1"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("Find\\s+Ctrl\\+F"))));
}

void DialogsTest::aboutBoxShowsImageAndCloses()
{
    AboutWidget about;
    QVERIFY(about.pixmapLabel1->hasScaledContents());
    QVERIFY(!about.pixmapLabel1->pixmap().isNull());
    QVERIFY(about.textBrowser1->toPlainText().contains(QStringLiteral("Tessaryn")));
    QVERIFY(about.textBrowser1->toPlainText().contains(QStringLiteral("Version " TESSARYN_VERSION)));
    QVERIFY(about.textBrowser1->toPlainText().contains(QStringLiteral("GPL-3.0-or-later")));
    QTimer::singleShot(0, about.pushButton22, &QPushButton::click);
    QCOMPARE(about.exec(), int(QDialog::Accepted));
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
