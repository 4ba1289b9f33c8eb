#pragma once

#include "platform/trash/Descriptor.h"

#include <QByteArray>

// The program's own record of the trashes it has under way in one trash folder, so that
// what a trash cut off leaves behind (a killed process, a power cut) can be found and
// removed later without looking through the whole trash, and without ever taking an info
// written by another program for one of ours.
//
// The journal is the folder .dirquill-journal of the trash folder. A trash of the entry
// NAME first writes the note NAME.note holding the exact text of the info it is about to
// place, locks it and makes it durable; then it writes that text to NAME.trashinfo in the
// journal, makes it durable and renames it into info/ (never replacing an info that is
// there), so that the info appears whole or not at all; it moves the entry into files/
// and removes the note last. The note's lock is held until then.
namespace platform::trash {

// The journal of the trash folder open as `trashFolder`, made when missing.
Descriptor openJournal(int trashFolder);

// A note of a trash under way, locked while it lives.
class TrashNote {
public:
    // Writes the note of the entry `name` whose info will hold `infoText`, in the
    // journal open as `journal`, and makes it durable. Returns 0, EEXIST when another
    // trash of this program holds the name, or an errno value.
    int take(int journal, const QByteArray& name, const QByteArray& infoText);

    // Places the info: writes `infoText` in the journal, makes it durable, renames it
    // into the info folder open as `info` as NAME.trashinfo and makes that durable.
    // Returns 0, EEXIST when that name is taken there, or an errno value.
    int placeInfo(int info, const QByteArray& infoText);

    // Removes the note once the entry has moved.
    void clear();

    // Gives the trash up: removes the info it placed, if any, and then the note. Should
    // the info stay, so does the note, for clearLeftovers to take it later.
    void withdraw();

private:
    int journal_ = -1;
    int info_ = -1;
    QByteArray name_;
    Descriptor note_;
};

// Removes what trashes of this program that were cut off left in the trash folder open as
// `trashFolder`: for each note whose writer is gone (its lock is free), the info it
// placed, when the entry never reached files/ and the info there still holds exactly the
// note's text, then the note. An info this program did not place is never touched, however
// old. Looks only at the journal's few notes, never at files/ or info/ as a whole.
void clearLeftovers(int trashFolder);

} // namespace platform::trash
