#pragma once

#include "platform/MountTable.h"
#include "platform/volumes/VolumeRows.h"

#include <optional>

// The storage service's volumes as column 0 shows them.
namespace platform::volumes {

// The volumes that are drive rows and are not mounted yet, from the storage service's
// answer as it stands (waiting at most kAnswerWaitMs for one under way), in the order of
// their rows. Empty without a service, and when a test has replaced the drive rows.
QList<Volume> unmountedDriveVolumes();

// Where the volume is mounted now, if it is: the first mount of its whole file system in
// the kernel's table whose device number or source is the
// volume's device, or that is at a place where the service told it mounted.
std::optional<Mount> currentMount(const Volume& volume);

} // namespace platform::volumes
