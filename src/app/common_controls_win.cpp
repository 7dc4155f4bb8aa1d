#include "app/common_controls_win.h"

#include <string>

#include "app/resource.h"

namespace qv {
namespace {

// The program's own path: Windows reads the manifest resource from the module and wants its file
// as the source too.
std::wstring module_path(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

}  // namespace

CommonControlsScope::CommonControlsScope() noexcept {
  const HMODULE module = GetModuleHandleW(nullptr);
  const std::wstring path = module_path(module);
  if (path.empty()) return;
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
  request.lpSource = path.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(IDR_COMMON_CONTROLS_MANIFEST);
  request.hModule = module;
  context_.reset(CreateActCtxW(&request));
  if (context_) active_ = ActivateActCtx(context_.get(), &cookie_) != FALSE;
}

CommonControlsScope::~CommonControlsScope() {
  if (active_) DeactivateActCtx(0, cookie_);
}

}  // namespace qv
