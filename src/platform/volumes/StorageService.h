#pragma once

#include "platform/volumes/VolumeRows.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <optional>

// The client of the storage service, UDisks2 on the system bus: its objects, asked for
// on a thread of their own. Only MountCall mounts anything, on the user's click.
namespace platform::volumes {

// How long column 0's fill waits for an answer still under way.
constexpr int kAnswerWaitMs = 200;

// Asks the service for its objects on a thread of its own, unless a request is under way,
// so that the window's thread never waits for the bus to connect or the service to start.
void requestObjects();

// An answer that came longer ago than this no longer says what is plugged in.
constexpr int kAnswerFreshMs = 2000;

// The answer to the request under way (started here when there is none, or when the one
// waiting came more than kAnswerFreshMs ago), waiting at most `waitMs` for it. Empty when
// there is no system bus or no service, when it failed, or when it has not come by then;
// the request then goes on, for the next caller. A taken answer is used once: the next
// call asks again.
std::optional<ManagedObjects> takeObjects(int waitMs);

// Waits for the request under way to end (at most its timeout, 5 s), so that no thread
// is left in the bus connection when the program ends.
void finishRequests();

// What the objects request and a mount share: the connection to the system bus (not
// connected when there is none), the objects request as a message, and its reply as
// plain values (nothing for an error).
QDBusConnection storageBus();
QDBusMessage objectsRequest();
std::optional<ManagedObjects> objectsOfReply(const QDBusMessage& reply);
inline constexpr int kObjectsTimeoutMs = 5000;

} // namespace platform::volumes
