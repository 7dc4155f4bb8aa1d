#include "app/thread_win.h"

#include <memory>

#include "app/handles_win.h"

namespace qv {
namespace {

DWORD WINAPI thread_entry(void* parameter) noexcept {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  (*body)();
  return 0;
}

}  // namespace

void start_detached_thread(std::function<void()> body) {
  // Closing our handle detaches the thread.
  if (!start_thread(std::move(body))) ExitProcess(3);
}

OwnedHandle start_thread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  OwnedHandle thread(CreateThread(nullptr, 0, thread_entry, owned.get(), 0, nullptr));
  if (thread) owned.release();  // the thread owns it now
  return thread;
}

}  // namespace qv
