// A save while the edit store refuses the edits (TEMP is no place for a working directory):
// the save stops before it writes or asks anything, the message tells where and why, the
// client files stay as they were, and the edits are there for the save after the fault.
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "view/viewsave.h"
#include "world/blockcache.h"
#include "world/facet.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QAbstractButton>
#include <QMessageBox>
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

QMap<QString, QByteArray> fingerprints(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QString &name : QDir(dir).entryList(QDir::Files))
        out.insert(name, QCryptographicHash::hash(readAll(dir + QLatin1Char('/') + name), QCryptographicHash::Sha256));
    return out;
}

// Answers every message box that comes up with answer(box), polling from the event loop.
class BoxAnswerer
{
public:
    explicit BoxAnswerer(std::function<void(QMessageBox *)> answer) : m_answer(std::move(answer))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_titles << box->windowTitle();
                m_texts << box->text();
                m_answer(box);
            }
        });
        m_timer.start(10);
    }
    const QStringList &titles() const { return m_titles; }
    const QStringList &texts() const { return m_texts; }

private:
    QTimer m_timer;
    std::function<void(QMessageBox *)> m_answer;
    QStringList m_titles, m_texts;
};

// "No" to a question, OK to anything else.
void answerNo(QMessageBox *box)
{
    for (QAbstractButton *b : box->buttons()) {
        if (b->text() == QLatin1String("No")) {
            b->click();
            return;
        }
    }
    box->accept();
}
} // namespace

class FaultsViewTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString dir, blocker, temp;
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
        // A regular file where TEMP expects a directory: no working directory, for root too.
        blocker = env->root() + "/blocker";
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        temp = blocker + "/temp";
        qputenv("TEMP", temp.toLocal8Bit()); // the environment's destructor puts TEMP back
        qputenv("TESSARYN_WORKING_DIR", temp.toLocal8Bit()); // the map view's working folders
        store = WorkingDirectory::create();
        QVERIFY(!store->isValid());
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

    // The map view tells the user when it starts without a working directory, and again
    // when a facet switch cannot store the edits (one box at a time); the edits stay.
    void viewWarnsWhenEditsCannotBeStored()
    {
        GLMapWidget v;
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = v.findChild<QMessageBox *>(QStringLiteral("workingFilesWarning"))));
        QVERIFY(box->isVisible());
        QVERIFY2(box->text().contains(QStringLiteral("Not a directory")), qPrintable(box->text()));
        box->close();
        QTRY_VERIFY(!v.findChild<QMessageBox *>(QStringLiteral("workingFilesWarning")));

        v.setMapid(2);
        v.blockCache().setLand(3, 3, 2, 0x77, 6);
        v.setMapid(3);
        box = v.findChild<QMessageBox *>(QStringLiteral("workingFilesWarning"));
        QVERIFY(box && box->isVisible());
        v.setMapid(2);
        QCOMPARE(v.findChildren<QMessageBox *>(QStringLiteral("workingFilesWarning")).size(), 1);
        QCOMPARE(v.blockCache().land(3, 3).id(), 0x77);
        QVERIFY(v.hasUnsavedChanges());
    }

    // Malas into its difference files: refused with the message, saved once TEMP is usable.
    void refusedThenSaved()
    {
        cache.setFacet(raw[3]);
        cache.setLand(3, 3, 2, 9, 9);
        const auto before = fingerprints(dir);
        BoxAnswerer answerer(answerNo);
        QVERIFY(!saveView(&view, cache, raw, 3, 1));
        QCOMPARE(answerer.titles(), QStringList{"Save Failed"});
        QCOMPARE(answerer.texts().value(0),
                 "The map was not saved.\n\nCould not create a working directory in " + temp
                     + ": Not a directory\n\nThe client files are unchanged and your changes are kept; you can save again.");
        QVERIFY(!saveRunning());
        QCOMPARE(fingerprints(dir), before);
        QCOMPARE(cache.land(3, 3).id(), 9);

        QVERIFY(QFile::remove(blocker));
        QVERIFY(QDir().mkpath(temp));
        QVERIFY(saveView(&view, cache, raw, 3, 1));
        QCOMPARE(answerer.titles().size(), 1);
        Facet saved(3);
        QCOMPARE(saved.loadLandBlock(0, false).at(cellKey(3, 3)).id(), 9);
        QCOMPARE(saved.loadLandBlock(0, false).at(cellKey(3, 3)).z(), 9);
    }

    // Felucca into the shared main files: the refusal comes before the "Save Conflict"
    // question, which is asked only once the edits are in working files.
    void refusedBeforeTheQuestion()
    {
        cache.setFacet(raw[0]);
        cache.setLand(3, 3, 2, 9, 9);
        const auto before = fingerprints(dir);
        BoxAnswerer answerer(answerNo);
        QVERIFY(!saveView(&view, cache, raw, 0, 0));
        QCOMPARE(answerer.titles(), QStringList{"Save Failed"});
        QCOMPARE(fingerprints(dir), before);
        QVERIFY(!raw[0]->hasWorkingFilesOnDisk());

        QVERIFY(QFile::remove(blocker));
        QVERIFY(QDir().mkpath(temp));
        QVERIFY(!saveView(&view, cache, raw, 0, 0)); // "No" to the question
        QCOMPARE(answerer.titles(), (QStringList{"Save Failed", "Save Conflict"}));
        QCOMPARE(fingerprints(dir), before);
        QVERIFY(raw[0]->hasWorkingFilesOnDisk());
        QCOMPARE(raw[0]->loadLandBlock(0, true).at(cellKey(3, 3)).id(), 9);
    }
};

QTEST_MAIN(FaultsViewTest)
#include "faults_view_test.moc"
