#pragma once
// Shared pieces of the fuzz targets: a private environment (settings, TEMP and data directory
// of the fuzzing process's own) and the container that turns one fuzz input into several files.
#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property every input must keep; a failure stops the run like a crash, naming the check.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (false)

namespace fuzz {

// Points settings, TEMP and the data directory at directories that belong to this process
// alone, so that a fuzzing run never reads the user's client files or settings and never
// leaves working files behind in the shared TEMP. Returns the data directory, which is empty
// and which the target fills with the files of each input. Call once, from LLVMFuzzerInitialize.
QString initEnvironment();

// Writes bytes to path, replacing what was there. An empty piece still makes an empty file.
bool writeFile(const QString &path, QByteArrayView bytes);

// Removes every file of dir (not the directory itself).
void clearDirectory(const QString &dir);

// One input cut into count pieces. The input begins with count little-endian 32-bit lengths;
// the pieces follow back to back. A length past what is left is cut to what is left, and the
// last piece also takes any bytes after the lengths add up. An input too short for the header
// gives the bytes it has as the first piece.
//
// The layout keeps every piece reachable by the mutator: a grown piece pushes bytes into the
// next one rather than making the input invalid.
QList<QByteArrayView> splitPieces(const uint8_t *data, size_t size, int count);

// The inverse, used to make seeds: the lengths of pieces, then their bytes.
QByteArray joinPieces(const QList<QByteArray> &pieces);

} // namespace fuzz
