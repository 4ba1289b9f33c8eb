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

// Where the volume's device is mounted now, if it is (its whole file system, the first
// such mount of the kernel's table).
std::optional<Mount> currentMount(const Volume& volume);

} // namespace platform::volumes
