// What the next open of a data directory does with what an interrupted save left there, and
// the words the user is told: a set finished or put back, a damaged journal with its two
// choices, and new files no journal covers.
#include "world/filereplacer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray get(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const QByteArray kOldMap = "old map", kNewMap = "new map";
const QByteArray kOldStatics = "old statics", kNewStatics = "new statics!";

QByteArray journal(const char *state)
{
    return QByteArray("tessaryn save journal 1\nstate ") + state
        + "\npair\tmap2.mul.tsy2\tmap2.mul\tmap2.mul.tsyold\t7\n"
          "pair\tstatics2.mul.tsy2\tstatics2.mul\tstatics2.mul.tsyold\t12\nend\n";
}

} // namespace

class JournalTest : public QObject
{
    Q_OBJECT
private slots:
    void interruptedSavesAreSettledAndTold_data();
    void interruptedSavesAreSettledAndTold();
};

void JournalTest::interruptedSavesAreSettledAndTold_data()
{
    QTest::addColumn<QString>("left");     // what the cut-off save left
    QTest::addColumn<QString>("choice");   // the user's answer: restore, keep, remove or none
    QTest::addColumn<QString>("message");  // %1: the directory
    QTest::addColumn<QByteArray>("map");   // map2.mul afterwards
    QTest::addColumn<QByteArray>("statics");

    QTest::newRow("all new files waiting: completed")
        << "forward, none moved" << "none"
        << "An interrupted save of Ilshenar was completed: the client files in %1 hold what it saved."
        << kNewMap << kNewStatics;
    QTest::newRow("a new file missing: put back")
        << "forward, map moved, statics lost" << "none"
        << "An interrupted save of Ilshenar could not be completed and was undone: the client files in %1 are as they "
           "were before it."
        << kOldMap << kOldStatics;
    QTest::newRow("turned back already: put back")
        << "undo, map moved" << "none"
        << "An interrupted save of Ilshenar could not be completed and was undone: the client files in %1 are as they "
           "were before it."
        << kOldMap << kOldStatics;
    const QString damaged = QStringLiteral("The file %1") + QDir::separator() + FileReplacer::journalName()
        + " of an unfinished save is damaged; the client files of that save may not match.\n\n"
          "Restore the old files from the copies kept beside them, or keep the files as they are?";
    QTest::newRow("damaged journal, old files restored") << "damaged, map moved" << "restore" << damaged << kOldMap
                                                         << kOldStatics;
    QTest::newRow("damaged journal, files kept") << "damaged, map moved" << "keep" << damaged << kNewMap << kOldStatics;
    QTest::newRow("new files before the journal: removed")
        << "no journal" << "remove"
        << "Files left by an interrupted save of this program were found in %1:\n\n"
           "statics2.mul.tsy2\ntessaryn-save.journal.undo\n\nNo save needs them. Remove them?"
        << kOldMap << kOldStatics;
}

void JournalTest::interruptedSavesAreSettledAndTold()
{
    QFETCH(QString, left);
    QFETCH(QString, choice);
    QFETCH(QString, message);
    QFETCH(QByteArray, map);
    QFETCH(QByteArray, statics);
    QTemporaryDir tmp;
    const QString dir = tmp.path();
    const auto at = [&dir](const QString &name) { return dir + QLatin1Char('/') + name; };
    QVERIFY(put(at("statics2.mul"), kOldStatics));
    QVERIFY(put(at("notes.txt.tsy2"), "not ours")); // names of no client file stay alone
    if (left.contains("map moved")) {
        QVERIFY(put(at("map2.mul"), kNewMap));
        QVERIFY(put(at("map2.mul.tsyold"), kOldMap));
    } else {
        QVERIFY(put(at("map2.mul"), kOldMap));
        if (left.startsWith("forward"))
            QVERIFY(put(at("map2.mul.tsy2"), kNewMap));
    }
    if (left.startsWith("forward") || left.startsWith("undo")) {
        QVERIFY(put(at("statics2.mul.tsyold"), kOldStatics));
        if (!left.contains("statics lost"))
            QVERIFY(put(at("statics2.mul.tsy2"), kNewStatics));
        QVERIFY(put(at(FileReplacer::journalName()), journal(left.startsWith("undo") ? "undo" : "forward")));
    } else if (left.startsWith("damaged")) {
        QVERIFY(put(at(FileReplacer::journalName()), "tessaryn save journal 1\nstate forward\npair\tmap2"));
    } else {
        QVERIFY(put(at("statics2.mul.tsy2"), kNewStatics));
        QVERIFY(put(at("tessaryn-save.journal.undo"), journal("undo")));
    }

    FileReplacer::takeReports();
    // Each facet that opens the directory settles it; the user is told once.
    for (int i = 0; i < 2; ++i)
        recoverInterruptedSave(dir);
    QList<RecoveryReport> reports = FileReplacer::takeReports();
    const QStringList leftovers = FileReplacer::leftovers(dir);
    if (!leftovers.isEmpty()) {
        RecoveryReport r;
        r.outcome = RecoveryReport::Leftovers;
        r.dir = dir;
        r.leftovers = leftovers;
        reports.append(r);
    }
    QCOMPARE(reports.size(), 1);
    QCOMPARE(FileReplacer::reportText(reports.first()), message.arg(QDir::toNativeSeparators(dir)));

    if (choice == "restore")
        QVERIFY(FileReplacer::restoreKept(dir));
    else if (choice == "keep")
        QVERIFY(FileReplacer::keepAsTheyAre(dir));
    else if (choice == "remove")
        QVERIFY(FileReplacer::removeLeftovers(dir, leftovers));
    QCOMPARE(get(at("map2.mul")), map);
    QCOMPARE(get(at("statics2.mul")), statics);
    // Settled: nothing of the save is left, and the next open has nothing to say.
    QVERIFY(!FileReplacer::hasInterruptedSet(dir));
    QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name), (QStringList{"map2.mul", "notes.txt.tsy2", "statics2.mul"}));
    recoverInterruptedSave(dir);
    QVERIFY(FileReplacer::takeReports().isEmpty());
    QVERIFY(FileReplacer::leftovers(dir).isEmpty());
}

QTEST_GUILESS_MAIN(JournalTest)
#include "journal_test.moc"
