// Detached worker threads. A thread that cannot be started ends the process (non-zero exit code,
// no message): it cannot happen in normal use.
#pragma once

#include <functional>

namespace qv {

void start_detached_thread(std::function<void()> body);

}  // namespace qv
