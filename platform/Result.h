// The one way platform and settings calls report how they went: a Status for a call that only
// succeeds or fails, a Result<T> for one that gives a value, each failure carrying the system's
// error code. The members are named as std::expected names them, so that a build on C++23 could
// take that type instead without touching the callers.
#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <utility>

namespace velmora::platform {

// A reason why a file could not be opened, read or written: the system's error code (errno, or
// GetLastError on Windows), or one of the program's own refusals in Platform.h; 0 when none is
// known.
using ErrorCode = std::uint32_t;

// The failing half of a Status or Result: return Failure{code} from a call that failed.
struct Failure {
  ErrorCode code = 0;
};

// Success, or a failure with its error code.
class Status {
 public:
  Status() = default;  // success
  Status(Failure failure) : failed_(true), error_(failure.code) {}  // NOLINT: implicit by design

  bool ok() const noexcept { return !failed_; }
  explicit operator bool() const noexcept { return ok(); }
  // Why the call failed (0 when the system named no reason); 0 after a success.
  ErrorCode error() const noexcept { return error_; }

 private:
  bool failed_ = false;
  ErrorCode error_ = 0;
};

// A value, or a failure with its error code.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}           // NOLINT: implicit by design
  Result(Failure failure) : error_(failure.code) {}       // NOLINT: implicit by design

  bool ok() const noexcept { return value_.has_value(); }
  explicit operator bool() const noexcept { return ok(); }
  // Why the call failed (0 when the system named no reason); 0 after a success.
  ErrorCode error() const noexcept { return error_; }

  // The value; only after a success.
  T& value() & {
    assert(ok());
    return *value_;
  }
  const T& value() const& {
    assert(ok());
    return *value_;
  }
  T&& value() && {
    assert(ok());
    return std::move(*value_);
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

 private:
  std::optional<T> value_;
  ErrorCode error_ = 0;
};

}  // namespace velmora::platform
