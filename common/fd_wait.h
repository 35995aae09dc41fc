// Waiting for a descriptor with a deadline: the one poll loop of the probes that must
// give up within their bound.
#pragma once

#include <chrono>

namespace tessvale {

// Waits until fd reports one of events (POLLIN, POLLOUT, ...) or the deadline passes.
// An interrupted wait goes on with the time that is left. True when fd is ready; false
// at the deadline or on an error of poll.
bool WaitForDescriptor(int fd, short events, std::chrono::steady_clock::time_point deadline);

} // namespace tessvale
