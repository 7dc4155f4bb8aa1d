// Detached worker threads. A thread that cannot be started ends the process (non-zero exit code,
// no message): it cannot happen in normal use.
#pragma once

#include <functional>

#include "app/handles_win.h"

namespace qv {

void start_detached_thread(std::function<void()> body);

// A thread to be waited for: its handle, or null (and `body` never runs) when it cannot start.
OwnedHandle start_thread(std::function<void()> body);

}  // namespace qv
