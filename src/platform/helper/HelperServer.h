#pragma once

// The file helper's side of the messages in HelperProtocol.h: answers requests read from
// `in` on `out` until `in` ends. Returns 0 at the end of the requests, 1 when a request
// is malformed or the answer cannot be written.
namespace platform::helper {

int serveRequests(int in, int out);

// Runs through a listing once on a folder of the process's own, before the first request.
void warmUp();

} // namespace platform::helper
