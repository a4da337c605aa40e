#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Where Felucca and Trammel share map0/statics0/staidx0, a main save of one of them with
// changes of the other pending writes the other's complete main files under that facet's
// new-file names (map0.mul.tsy0 ... for Felucca) and leaves them there: the backup of its
// edits. Beside them lies this list, "<map file>.tsy<N>.blocks" (map0.mul.tsy0.blocks), which
// says which blocks of the backup are the facet's edits and which files with which sizes make
// the backup. It is a short text file, written whole (NewFile) and moved into place in the
// same journaled set as the backup, so a backup either is complete with its list or is not
// there:
//
//     tessaryn backup 1
//     facet 0
//     by 1
//     file map0.mul.tsy0 77070336
//     file statics0.mul.tsy0 1234
//     file staidx0.mul.tsy0 4718592
//     land 0 1 1024
//     statics 5
//     end
//
// "facet" is the facet whose edits the backup holds, "by" the facet whose save wrote it, the
// "land" and "statics" lines name the changed blocks in ascending order (a line may be missing
// or empty). A list without files and blocks is a retired one: a save that took every edit
// into the facet's own files puts it in place of the list, in the set that does so, and then
// deletes the backup and the list.
struct BackupList {
    int facet = -1;
    int by = -1;
    QStringList files;
    QList<qint64> sizes;
    QList<int> land;
    QList<int> statics;

    static QString suffix() { return QStringLiteral(".blocks"); }

    QByteArray text() const;
    // False for anything but a whole list of this form.
    bool parse(const QByteArray &text);
    // Reads dir/name; false when it is missing or not a whole list.
    bool read(const QString &dir, const QString &name);
    // True when every file the list names lies in dir with the size it names.
    bool filesComplete(const QString &dir) const;
    bool retired() const { return files.isEmpty() && land.isEmpty() && statics.isEmpty(); }
    // Distinct blocks named by the land and statics lines together.
    int blockCount() const;
};
