#pragma once
#include <QString>

class BlockCache;
class Facet;
class QWidget;

// The map view's save, with everything the user sees: the "Save Conflict" question before
// Felucca or Trammel goes into the shared main files, the wait cursor, a progress dialog
// when the save takes more than a moment, and a message box naming the file and the
// system's reason when it fails. The work itself is saveFacet (world/facetsaver.h).
//
// mode 0 saves into the main files, 1 into the difference files; mapid is the current
// facet, facets the view's four. Returns true when the save went through (also when there
// was nothing to write); false when the user said "No", a save was already running, or it
// failed (the edits then stay in the working files and a later save can try again).
bool saveView(QWidget *parent, BlockCache &cache, Facet *facets[], int mapid, int mode);

// True while saveView runs. Events run inside a save (repaints, timers), and input that
// arrives then must not start an edit, a pick or a second save.
bool saveRunning();

// Texts the user sees; tests check them word for word.
namespace savetexts {
inline QString conflictCaption() { return QStringLiteral("Save Conflict"); }
inline QString conflictText()
{
    return QStringLiteral("Felucca and Trammel share the same file. Continuing will save other map changes to backup. Continue?");
}
inline QString failedCaption() { return QStringLiteral("Save Failed"); }
// error names the file and the system's reason.
inline QString failedText(const QString &error)
{
    return QStringLiteral("The map was not saved.\n\n") + error
        + QStringLiteral("\n\nThe client files are unchanged and your changes are kept; you can save again.");
}
// When a save stops with a set of client files it could not settle (its journal is still
// there), the files are not known to be unchanged.
inline QString failedUnsettledText(const QString &error)
{
    return QStringLiteral("The map was not saved.\n\n") + error
        + QStringLiteral("\n\nSome client files may be partly replaced; the next start of the editor settles them from "
                         "the save's journal. Your changes are kept; you can save again once they are settled.");
}
inline QString closeCaption() { return QStringLiteral("Unsaved Changes"); }
inline QString closeText()
{
    return QStringLiteral("The map has changes that were not saved. Close and discard them?");
}
inline QString progressText() { return QStringLiteral("Saving the map: blocks done"); }
} // namespace savetexts
