#pragma once

#include <string>
#include <utility>

namespace chatterwick {

// Outcome of a platform call. Failures carry a message a user can read.
class Status {
 public:
  Status() = default;
  static Status OK() { return Status(); }
  static Status NotFound(std::string msg) { return Status(kNotFound, std::move(msg)); }
  static Status IOError(std::string msg) { return Status(kIOError, std::move(msg)); }

  bool ok() const { return code_ == kOk; }
  bool IsNotFound() const { return code_ == kNotFound; }
  const std::string& message() const { return msg_; }

 private:
  enum Code { kOk, kNotFound, kIOError };
  Status(Code code, std::string msg) : code_(code), msg_(std::move(msg)) {}

  Code code_ = kOk;
  std::string msg_;
};

}  // namespace chatterwick
