// A value or a reason text: what every fallible operation returns.
// A reason is a short lower-case sentence shown to the user as it stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace qv {

// Whichever operation returns this reason, the run counts as canceled by the user.
inline constexpr std::string_view kCanceled = "canceled";

struct Reason {
  std::string text;
};

inline Reason fail(std::string text) {
  return Reason{std::move(text)};
}

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Reason reason) : reason_(std::move(reason.text)) {}

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

  // Empty when the operation succeeded.
  const std::string& reason() const { return reason_; }
  bool canceled() const { return !ok() && reason_ == kCanceled; }

 private:
  std::optional<T> value_;
  std::string reason_;
};

// Success carries nothing; failure carries its reason.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Reason reason) : failed_(true), reason_(std::move(reason.text)) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& reason() const { return reason_; }
  bool canceled() const { return failed_ && reason_ == kCanceled; }

 private:
  bool failed_ = false;
  std::string reason_;
};

using Status = Result<void>;

}  // namespace qv
