#pragma once
#include <QString>

// Where the client's data files are. Looked up anew on every call, so a directory
// stored with setDataDirectory is seen by the next file that is opened.
//
// Order: a directory given for this run (setRunDataDirectory, from the command line), then
// the user's choice ("Varnel/UODir" in the application's settings), then (Windows builds
// only) the game's own install path from the registry, then the directory named by the
// environment variable TESSARYN_DEFAULT_DIR (the run script points it at the generated
// sample world). An empty result means no directory: every client file then fails to open.
QString dataDirectory();

// Where dataDirectory() finds its answer now.
enum class DataDirectorySource { None, ThisRun, Settings, Registry, Default };
DataDirectorySource dataDirectorySource();

// Makes dir the data directory of this run, ahead of the stored choice, without storing it.
// An empty dir ends that.
void setRunDataDirectory(const QString &dir);
// For programs that are told their directory (tessaryn-tool): dir is the data directory for
// the rest of the run, before the user's choice and every other source. Empty undoes it.
void setDataDirectoryOverride(const QString &dir);

// Stores dir as the user's choice of data directory.
void setDataDirectory(const QString &dir);

// Size of a facet (0-5) of the data directory in 8x8 blocks, as its layout gives it (see
// ClientLayout); 0 for an unknown facet number.
int facetBlocksX(int facet);
int facetBlocksY(int facet);

// True when dir holds the client files the editor reads (tile data and a map); false with
// the folder and what it lacks in reason otherwise.
bool isClientDirectory(const QString &dir, QString *reason = nullptr);
