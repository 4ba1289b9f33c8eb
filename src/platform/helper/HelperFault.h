#pragma once

#include <QString>

namespace platform {

class HelperCall;

// What the user is told when the file helper itself, not the disk, failed `call`, or an
// empty text when nothing is said. That no helper can be started is told once, by the
// first call that found it, so that an empty column never claims a folder is empty. A
// helper lost after it took a trash or rename leaves the outcome unknown, which is told;
// a lost listing or new folder is not, as their refill shows what is there. A listing
// that ran out of memory is told, and so is a call whose answer no thread could read
// (the system's limit on threads), which asked the helper nothing.
QString helperFaultText(const HelperCall& call);

} // namespace platform
