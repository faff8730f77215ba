// A value, or the reason there is none. The codec's operations fail with a reason a user can read
// ("bi-phase coding", "leader mark 1400 counts > 1023"), never with an exception or a bare -1.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace kavro::codec {

template <typename T>
class Outcome {
 public:
  Outcome(T value) : value_(std::move(value)) {}  // NOLINT: a value is a success
  static Outcome Fail(std::string reason) {
    Outcome failed;
    failed.reason_ = std::move(reason);
    return failed;
  }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }
  const T& operator*() const& { return *value_; }
  const T* operator->() const { return &*value_; }
  // Why there is no value; empty on success.
  const std::string& reason() const { return reason_; }

 private:
  Outcome() = default;
  std::optional<T> value_;
  std::string reason_;
};

}  // namespace kavro::codec
