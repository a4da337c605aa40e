#pragma once
#include <QString>

#include <functional>

class BlockCache;
class Facet;

// Tells how far a save is: blocks gone through so far out of a total that may still grow
// (a save into the main files of Felucca or Trammel may have the other facet to write too).
using SaveProgress = std::function<void(qint64 done, qint64 total)>;

// Saves the current facet into its main files (mode 0) or its difference files (mode 1):
// the whole save of the map view short of its question box and cursor.
//
// Flushes the cache, writes every new file in full, then replaces the targets as one set
// (FileReplacer), deletes the working files and reopens the facets on the new files. In
// mode 0, sharedOther is the facet that shares the main files (Trammel for Felucca and back,
// null otherwise): its pending changes go into its own new main files, which stay on disk as
// a backup beside the list of its changed blocks (backuplist.h), moved there in the same
// journaled set as the current facet's files; its working files are deleted and, reopened,
// it shows the listed blocks from the backup again. A save that would write the names of a
// backup goes ahead only when that facet's working files cover its list; one that takes every
// listed edit into the facet's own files (its main save, its difference save) retires it.
//
// Nothing is replaced unless every new file was written. On failure the client files are
// as they were, every working file is still there, the facets are reopened (their
// difference lists read again), and error names the file and the system's reason; a later
// save can simply try again.
bool saveFacet(BlockCache &cache, Facet &current, Facet *sharedOther, int mode, const SaveProgress &progress,
               QString *error = nullptr);

// True when anything would be lost by closing: a changed block in the cache, or a working
// file of any of the count facets.
bool hasUnsavedChanges(const BlockCache &cache, Facet *const facets[], int count = 4);
