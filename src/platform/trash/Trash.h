#pragma once

#include "platform/FileSystem.h"
#include "platform/trash/Descriptor.h"

#include <QString>

// The desktop trash as freedesktop.org describes it; platform::moveToTrash is this
// without the clearing that follows.
namespace platform::trash {

struct TrashOutcome {
    ChangeResult result;
    Descriptor trashFolder; // the trash folder the entry went to or was refused by
};

// Moves `path` into the trash (see platform::moveToTrash) and keeps the trash folder it
// used open, so that the caller can clear it of leftovers (clearLeftovers) once it has
// told the outcome.
TrashOutcome trashEntry(const QString& path);

} // namespace platform::trash
