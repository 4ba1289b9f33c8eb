// dirquill-io: the file helper. dirquill starts it and sends it, one at a time, the
// file-system calls the user asks for (list a folder, new folder, trash, rename), so that
// a disk or mount that never answers holds up this small process and not the window.
// It reads requests on standard input and answers on standard output until its input
// ends; see platform/HelperProtocol.h.

#include "platform/helper/HelperServer.h"

#include <unistd.h>

int main() {
    platform::helper::warmUp();
    return platform::helper::serveRequests(STDIN_FILENO, STDOUT_FILENO);
}
