#include "platform/helper/HelperFault.h"

#include "platform/FileSystem.h"
#include "platform/helper/HelperCall.h"
#include "platform/helper/HelperProtocol.h"
#include "res/Texts.h"

namespace platform {

QString helperFaultText(const HelperCall& call) {
    switch (call.loss()) {
    case HelperCall::Loss::NotStarted:
        return call.firstStartFailure()
                   ? QString::fromUtf8(texts::kHelperStartFailed) + describeError(call.startError())
                   : QString();
    case HelperCall::Loss::HelperEnded:
        return call.kind() == helper::kTrash || call.kind() == helper::kRename
                   ? QString::fromUtf8(texts::kHelperEnded)
                   : QString();
    case HelperCall::Loss::OutOfMemory:
        return QString::fromUtf8(texts::kListingOutOfMemory);
    case HelperCall::Loss::NoReader:
        return QString::fromUtf8(texts::kReaderNotStarted);
    case HelperCall::Loss::None:
        break;
    }
    return {};
}

} // namespace platform
