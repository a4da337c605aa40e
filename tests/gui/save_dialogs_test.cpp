// What the user sees of a save: the "Save Conflict" question for the shared main files, no
// question for the other facets, the message box of a failed save, and the running flag.
#include "support/testenv.h"
#include "view/viewsave.h"
#include "world/blockcache.h"
#include "world/facet.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Answers the next message box with answer(box), polling from the event loop; counts boxes.
class BoxAnswerer
{
public:
    explicit BoxAnswerer(std::function<void(QMessageBox *)> answer) : m_answer(std::move(answer))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ++m_seen;
                m_answer(box);
            }
        });
        m_timer.start(10);
    }
    int seen() const { return m_seen; }

private:
    QTimer m_timer;
    std::function<void(QMessageBox *)> m_answer;
    int m_seen = 0;
};

QAbstractButton *buttonText(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *b : box->buttons()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}
} // namespace

class SaveDialogsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString dir;
    std::shared_ptr<WorkingDirectory> store;
    std::unique_ptr<Facet> facets[4];
    Facet *raw[4] = {};
    BlockCache cache;
    QWidget view;

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        dir = env->copyOfSample();
        QFile small(dir + "/map0.mul");
        QVERIFY(small.open(QIODevice::WriteOnly));
        small.write(QByteArray(196 * 4, '\1'));
        small.close();
        TestEnvironment::useDataDirectory(dir);
        store = WorkingDirectory::create();
        for (int i = 0; i < 4; ++i) {
            facets[i] = std::make_unique<Facet>(i, true, store);
            raw[i] = facets[i].get();
        }
    }
    void cleanup()
    {
        cache.setFacet(nullptr);
        for (auto &f : facets)
            f.reset();
        store.reset();
        env.reset();
    }

    // Felucca and Trammel into the main files ask first; "No" writes nothing and keeps the
    // edits in working files.
    void conflictQuestion_data()
    {
        QTest::addColumn<int>("mapid");
        QTest::newRow("Felucca") << 0;
        QTest::newRow("Trammel") << 1;
    }
    void conflictQuestion()
    {
        QFETCH(int, mapid);
        cache.setFacet(raw[mapid]);
        cache.setLand(3, 3, 2, 9, 9);
        const QByteArray before = readAll(dir + "/map0.mul");
        QString title, text;
        QStringList buttons;
        bool defaultYes = false, escapeNo = false, parented = false;
        BoxAnswerer answerer([&](QMessageBox *box) {
            title = box->windowTitle();
            text = box->text();
            for (QAbstractButton *b : box->buttons())
                buttons << b->text();
            defaultYes = box->defaultButton() && box->defaultButton()->text() == "Yes";
            escapeNo = box->escapeButton() && box->escapeButton()->text() == "No";
            parented = box->parentWidget() == &view;
            buttonText(box, "No")->click();
        });
        QVERIFY(!saveView(&view, cache, raw, mapid, 0));
        QCOMPARE(answerer.seen(), 1);
        QCOMPARE(title, QStringLiteral("Save Conflict"));
        QCOMPARE(text, QStringLiteral("Felucca and Trammel share the same file. Continuing will save other map "
                                      "changes to backup. Continue?"));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"No", "Yes"}));
        QVERIFY(defaultYes);
        QVERIFY(escapeNo);
        QVERIFY(parented);
        QCOMPARE(readAll(dir + "/map0.mul"), before);
        QVERIFY(raw[mapid]->hasWorkingFilesOnDisk()); // flushed, not lost
        QVERIFY(!saveRunning());
    }

    // Ilshenar into the main files: no question, map2.mul replaced; events ran meanwhile
    // with the save marked running.
    void ilshenarWithoutQuestion()
    {
        cache.setFacet(raw[2]);
        cache.setLand(3, 3, 2, 9, 9);
        BoxAnswerer answerer([](QMessageBox *box) { box->reject(); });
        bool sawRunning = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { sawRunning = sawRunning || saveRunning(); });
        probe.start(1);
        QVERIFY(saveView(&view, cache, raw, 2, 0));
        probe.stop();
        QCOMPARE(answerer.seen(), 0);
        QVERIFY(sawRunning);
        QVERIFY(!saveRunning());
        const QByteArray map = readAll(dir + "/map2.mul");
        QCOMPARE(map.mid(4 + 3 * 27, 3), QByteArray::fromHex("090009"));
        QVERIFY(!QFileInfo::exists(dir + "/map2.mul.tsy2"));
        QVERIFY(!raw[2]->hasWorkingFilesOnDisk());
    }

    // A failed save tells the file and the reason, and keeps the edits.
    void failureMessage()
    {
        const QByteArray index = readAll(dir + "/stadifi3.mul");
        QVERIFY(QFile::remove(dir + "/stadifi3.mul"));
        QVERIFY(QDir().mkpath(dir + "/stadifi3.mul/inside"));
        raw[3]->reopen(); // the facet reads the directory as it is now, not as a change behind its back
        cache.setFacet(raw[3]);
        cache.setLand(3, 3, 2, 9, 9);
        QString title, text;
        BoxAnswerer answerer([&](QMessageBox *box) {
            title = box->windowTitle();
            text = box->text();
            box->accept();
        });
        QVERIFY(!saveView(&view, cache, raw, 3, 1));
        QCOMPARE(answerer.seen(), 1);
        QCOMPARE(title, QStringLiteral("Save Failed"));
        QVERIFY2(text.startsWith("The map was not saved.\n\nCould not keep the old " + dir + "/stadifi3.mul: "),
                 qPrintable(text));
        QVERIFY2(text.endsWith("\n\nThe client files are unchanged and your changes are kept; you can save again."),
                 qPrintable(text));
        QVERIFY(raw[3]->hasWorkingFilesOnDisk());
        QCOMPARE(cache.land(3, 3).id(), 9);
        QVERIFY(QDir(dir + "/stadifi3.mul").removeRecursively());
        QFile restore(dir + "/stadifi3.mul");
        QVERIFY(restore.open(QIODevice::WriteOnly));
        restore.write(index);
        restore.close();
        raw[3]->reopen();
        QVERIFY(saveView(&view, cache, raw, 3, 1));
        QCOMPARE(answerer.seen(), 1);
    }
};

QTEST_MAIN(SaveDialogsTest)
#include "save_dialogs_test.moc"
