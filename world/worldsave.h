#pragma once
#include "world/progress.h"
#include "world/tile.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <functional>

class Facet;
class TileData;

// Items of a server world save (the text "*.wsc" format): items lying in the world become
// items of a facet, shown among its statics; items of TYPE 255 become real statics in the
// facet's working files instead. While reading, a copy of the save without those items is
// written beside it, its name the save's with ".tsy" appended.

struct WorldSaveResult {
    bool ok = false;
    QString error;       // why nothing was changed, when !ok
    int items = 0;       // tiles added as items (a multi adds one per placed component)
    int statics = 0;     // static records appended to working files
    int skipped = 0;     // item blocks that were read but added nothing (copied unchanged)
    QString copyPath;    // the copy file written
    bool cancelled = false; // the caller's progress or question said stop; nothing changed
};

// Asked once, before they are placed, when the multis of a save would place more than
// MaxUnaskedComponents components (items and statics); false stops the read unchanged.
using ConfirmComponents = std::function<bool(qint64 components)>;
constexpr qint64 MaxUnaskedComponents = 10'000'000;

// True for a line (white space already simplified) that opens an item section: exactly
// "SECTION WORLDITEM", or those words, one space and a decimal number ("SECTION WORLDITEM 12"),
// the way servers number their sections.
bool isItemSectionHeader(const QByteArray &line);

// Reads the world save at path into facet: its items replace the facet's world-save items,
// TYPE 255 items are appended to the working files as statics (through
// appendStaticRecord), and the copy file is written. Tiles come from tileData; multis
// (ID 0x4000 and above) from the data directory's multi.idx and multi.mul.
//
// All or nothing: when the save cannot be read or the copy cannot be written, the facet's
// items and working files stay as they were, an earlier copy file is left untouched, and
// the result says why. Items without X or Y, lying outside the facet, in a container, of
// an unknown multi, or in a block cut off by the end of the file add nothing and are copied.
//
// Blocks the caller holds decoded do not show the change: flush and drop them first.
//
// Without confirm, saves of any size are read.
//
// A TYPE 255 static that the block already holds (the same record) is not appended again:
// loading a save a second time adds nothing twice. staticsBefore, when given, receives each
// block appended to with its statics bytes as they were.
WorldSaveResult readWorldSave(Facet &facet, const QString &path, TileData &tileData,
                              const ReadProgress &progress = {}, const ConfirmComponents &confirm = {},
                              QMap<int, QByteArray> *staticsBefore = nullptr);

// Appends t as one 7-byte static record (id, x mod 8, y mod 8, z, hue) to the statics of
// the block of (x, y): to its working file when this run has written one, else to the
// block's records from the difference or main files, written as its working file. False
// (and error set) when (x, y) lies outside the facet or the file cannot be written.
bool appendStaticRecord(Facet &facet, int x, int y, const Tile &t, QString *error = nullptr);
