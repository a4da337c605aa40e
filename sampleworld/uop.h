#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace sampleworld {

struct WrittenFile;

// Bob Jenkins' lookup3 hashlittle2 with both initial values 0, as the containers key their
// entries: (secondary << 32) | primary, primary being the value returned through the first
// pointer. The name is hashed as given; callers pass it in lower case.
quint64 uopNameHash(const QByteArray &name);
void hashLittle2(const char *key, qsizetype length, quint32 *primary, quint32 *secondary);
quint32 adler32(const char *data, qsizetype length);

// One named entry of a container. The bytes stay owned by the caller until write() ends.
struct UopEntry {
    QByteArray name;
    const char *data = nullptr;
    qsizetype size = 0;
};

// How a container is laid out. Entries are stored uncompressed.
struct UopShape {
    // Entries per table; fewer than the entries spreads them over several tables.
    quint32 capacity = 1000;
    // Bytes of metadata before each entry's data (the entry's header length).
    quint32 metadataLength = 0;
    // Mixes which entry goes into which table slot and where the tables lie in the file:
    // the first table of the chain is the last one in the file, the data of the entries
    // follows neither their names' nor their tables' order.
    quint32 seed = 0;
};

// Writes dir/name as a container ("MYP\0", version 5) of the entries.
bool writeUop(const QString &dir, const QString &name, const QList<UopEntry> &entries, const UopShape &shape,
              QList<WrittenFile> *written, QString *error);

} // namespace sampleworld
