// Saving the view as an image: filter text, file naming, writing, and the dialog flow.
#include "app/capture.h"
#include "support/testenv.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QImage>
#include <QImageReader>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <optional>

namespace {
// Runs `answer` on the first modal dialog of type T that appears, once the event loop of
// the blocking call that opened it is running.
template <typename T> void whenModal(std::function<void(T *)> answer)
{
    // Answers the dialog once it is up; should an answer arrive before the dialog's own
    // event loop takes it, the dialog stays up and is answered again on the next tick.
    auto *timer = new QTimer;
    timer->setInterval(20);
    auto answered = std::make_shared<std::optional<QPointer<QWidget>>>();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, answered] {
        if (answered->has_value() && (!answered->value() || !answered->value()->isVisible())) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (auto *d = qobject_cast<T *>(QApplication::activeModalWidget())) {
            *answered = d;
            answer(d);
        }
    });
    timer->start();
}

// A picture with see-through parts, so a lost alpha channel shows.
QImage translucentImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(qRgba(10, 200, 30, 255));
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgba(200, 40, 90, 100));
    return img;
}
} // namespace

class CaptureTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void filterListsEveryFormatAndEndsWithSeparator();
    void filterOfWritableFormatsOffersPng();
    void formatIsTheFilterFirstWord();
    void fileNameExtensionRule_data();
    void fileNameExtensionRule();
    void writeKeepsSizeAndAlpha();
    void writeIntoMissingDirectoryFailsWithReason();
    void writeOfNoImageFails();
    void cancelledDialogGrabsAndWritesNothing();
    void chosenFilterNamesFormatAndExtension();
    void opaqueGrabIsSavedWithAlpha();
    void failedSaveIsReportedInMessageBox();

private:
    // The capture keeps its folder and format in the settings: a private store.
    std::optional<TestEnvironment> m_env;
};

void CaptureTest::initTestCase()
{
    m_env.emplace();
    // Qt's own dialog, so the test can fill it in on any desktop.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void CaptureTest::filterListsEveryFormatAndEndsWithSeparator()
{
    QCOMPARE(captureFilter({"BMP", "PNG", "JPEG"}), QStringLiteral("BMP (*.bmp);;PNG (*.png);;JPEG (*.jpeg)"));
    QCOMPARE(captureFilter({}), QString());
}

void CaptureTest::filterOfWritableFormatsOffersPng()
{
    const QList<QByteArray> formats = captureFormats();
    QVERIFY(formats.contains("PNG"));
    for (const QByteArray &f : formats)
        QCOMPARE(f, f.toUpper());
    const QString filter = captureFilter(formats);
    QVERIFY(!filter.endsWith(QLatin1String(";;")));
    QVERIFY(filter.split(QLatin1String(";;")).contains(QLatin1String("PNG (*.png)")));
    QCOMPARE(filter.count(QLatin1String(";;")), formats.size() - 1);
}

void CaptureTest::formatIsTheFilterFirstWord()
{
    QCOMPARE(captureFormat(QStringLiteral("PNG (*.png)")), QStringLiteral("PNG"));
    QCOMPARE(captureFormat(QStringLiteral("JPEG (*.jpeg)")), QStringLiteral("JPEG"));
}

void CaptureTest::fileNameExtensionRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("written");
    QTest::newRow("bare name gets the extension") << "map" << "PNG" << "map.png" << "PNG";
    QTest::newRow("upper-case extension kept") << "map.PNG" << "PNG" << "map.PNG" << "PNG";
    QTest::newRow("lower-case extension kept") << "/tmp/map.png" << "PNG" << "/tmp/map.png" << "PNG";
    QTest::newRow("other extension of the same format") << "view.jpg" << "JPEG" << "view.jpg" << "JPG";
    QTest::newRow("name as long as the format") << "png" << "PNG" << "png.png" << "PNG";
    QTest::newRow("name shorter than the format") << "a" << "JPEG" << "a.jpeg" << "JPEG";
    QTest::newRow("dot before the ending is not required") << "mappng" << "PNG" << "mappng" << "PNG";
    QTest::newRow("typed extension wins over the filter") << "view.png" << "BMP" << "view.png" << "PNG";
    QTest::newRow("unknown extension keeps the filter") << "view.v2" << "BMP" << "view.v2.bmp" << "BMP";
    QTest::newRow("dot in a folder name only") << "/tmp/a.png/view" << "BMP" << "/tmp/a.png/view.bmp" << "BMP";
}

void CaptureTest::fileNameExtensionRule()
{
    QFETCH(QString, name);
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QFETCH(QString, written);
    const QString chosen = captureFormatFor(name, format, {"BMP", "PNG", "JPEG", "JPG"});
    QCOMPARE(chosen, written);
    QCOMPARE(captureFileName(name, chosen), expected);
}

void CaptureTest::writeKeepsSizeAndAlpha()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("view.png"));
    QString error;
    QVERIFY(writeCapture(translucentImage(37, 23), file, QStringLiteral("PNG"), &error));
    QVERIFY(error.isEmpty());
    QImageReader reader(file);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage back = reader.read();
    QCOMPARE(back.size(), QSize(37, 23));
    QVERIFY(back.hasAlphaChannel());
    QCOMPARE(qAlpha(back.pixel(5, 2)), 100);
    QCOMPARE(qAlpha(back.pixel(5, 20)), 255);
}

void CaptureTest::writeIntoMissingDirectoryFailsWithReason()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("no/such/place/view.png"));
    QString error;
    QVERIFY(!writeCapture(translucentImage(8, 8), file, QStringLiteral("PNG"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(file));
}

void CaptureTest::writeOfNoImageFails()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("view.png"));
    QString error;
    QVERIFY(!writeCapture(QImage(), file, QStringLiteral("PNG"), &error));
    QCOMPARE(error, QStringLiteral("The view gave no image."));
    QVERIFY(!QFile::exists(file));
}

void CaptureTest::cancelledDialogGrabsAndWritesNothing()
{
    QTemporaryDir dir;
    QWidget parent;
    int grabs = 0;
    whenModal<QFileDialog>([](QFileDialog *d) { d->reject(); });
    QVERIFY(!saveCapture(&parent, [&grabs] {
        ++grabs;
        return translucentImage(4, 4);
    }));
    QCOMPARE(grabs, 0);
    QVERIFY(QDir(dir.path()).isEmpty());
}

void CaptureTest::chosenFilterNamesFormatAndExtension()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QWidget parent;
    QString caption;
    QStringList filters;
    QString preselected;
    whenModal<QFileDialog>([&](QFileDialog *d) {
        caption = d->windowTitle();
        filters = d->nameFilters();
        preselected = d->selectedNameFilter();
        d->selectNameFilter(QStringLiteral("BMP (*.bmp)"));
        d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(dir.filePath(QStringLiteral("shot"))); // typed: selectFile leaves a focused field alone
        static_cast<QDialog *>(d)->accept(); // accept() is protected in QFileDialog
    });
    int grabs = 0;
    QVERIFY(saveCapture(&parent, [&grabs] {
        ++grabs;
        return translucentImage(30, 20);
    }));
    QCOMPARE(grabs, 1);
    QCOMPARE(caption, QStringLiteral("Capture image"));
    QVERIFY(filters.contains(QStringLiteral("PNG (*.png)")));
    QCOMPARE(preselected, QStringLiteral("PNG (*.png)"));
    const QString file = dir.filePath(QStringLiteral("shot.bmp"));
    QImageReader reader(file);
    QCOMPARE(reader.format(), QByteArray("bmp"));
    QCOMPARE(reader.size(), QSize(30, 20));

    // The next capture starts where this one ended: its folder and its format.
    QString folder;
    whenModal<QFileDialog>([&](QFileDialog *d) {
        preselected = d->selectedNameFilter();
        folder = d->directory().absolutePath();
        d->reject();
    });
    QVERIFY(!saveCapture(&parent, [] { return translucentImage(4, 4); }));
    QCOMPARE(preselected, QStringLiteral("BMP (*.bmp)"));
    QCOMPARE(folder, QDir(dir.path()).absolutePath());
}

void CaptureTest::opaqueGrabIsSavedWithAlpha()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QWidget parent;
    whenModal<QFileDialog>([&](QFileDialog *d) {
        d->selectNameFilter(QStringLiteral("PNG (*.png)"));
        d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(dir.filePath(QStringLiteral("view.PNG"))); // typed: selectFile leaves a focused field alone
        static_cast<QDialog *>(d)->accept(); // accept() is protected in QFileDialog
    });
    QVERIFY(saveCapture(&parent, [] {
        QImage img(16, 12, QImage::Format_RGB32);
        img.fill(qRgb(40, 80, 120));
        return img;
    }));
    const QImage back(dir.filePath(QStringLiteral("view.PNG")));
    QCOMPARE(back.size(), QSize(16, 12));
    QVERIFY(back.hasAlphaChannel());
    QCOMPARE(back.pixel(3, 3), qRgba(40, 80, 120, 255));
}

void CaptureTest::failedSaveIsReportedInMessageBox()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A folder already holds the name the capture gets once its extension is added.
    const QString file = dir.filePath(QStringLiteral("view.png"));
    QVERIFY(QDir().mkdir(file));
    QWidget parent;
    whenModal<QFileDialog>([&](QFileDialog *d) {
        d->selectNameFilter(QStringLiteral("PNG (*.png)"));
        d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(dir.filePath(QStringLiteral("view"))); // typed: selectFile leaves a focused field alone
        static_cast<QDialog *>(d)->accept(); // accept() is protected in QFileDialog
    });
    QString boxTitle, boxText;
    whenModal<QMessageBox>([&](QMessageBox *box) {
        boxTitle = box->windowTitle();
        boxText = box->text();
        box->accept();
    });
    QVERIFY(!saveCapture(&parent, [] { return translucentImage(4, 4); }));
    QCOMPARE(boxTitle, QStringLiteral("Capture image"));
    const QString lead = QStringLiteral("Could not save the image to ") + file + QLatin1String(":\n");
    QVERIFY2(boxText.startsWith(lead), qPrintable(boxText));
    QVERIFY2(boxText.length() > lead.length(), "the message gives no reason");
    QVERIFY(QFileInfo(file).isDir());
}

QTEST_MAIN(CaptureTest)
#include "capture_test.moc"
