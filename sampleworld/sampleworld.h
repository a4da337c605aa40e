#pragma once
#include <QString>
#include <QList>

namespace sampleworld {

struct Options {
    QString outDir;                 // directory to write the client files into (created if missing)
    QList<int> facets{0, 1, 2, 3};  // facets to write; 0 and 1 share map0/statics0
    quint32 seed = 1;               // everything is deterministic from this
};

// Writes a complete client data directory. Returns false and fills error on failure.
bool write(const Options &options, QString *error = nullptr);

} // namespace sampleworld
