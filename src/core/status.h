#pragma once

#include <string>
#include <utility>

namespace chatterwick {

// The outcome of a call that can fail. Failures carry a message a user can
// read. A caller that means to pass over a failure says so with IgnoreError().
class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status OK() { return Status(); }
  static Status NotFound(std::string msg) { return Status(kNotFound, std::move(msg)); }
  static Status IOError(std::string msg) { return Status(kIOError, std::move(msg)); }
  // The bytes are there but are not what the caller can use.
  static Status InvalidData(std::string msg) { return Status(kInvalidData, std::move(msg)); }
  // Someone else holds what the caller needs; trying again later may work.
  static Status Busy(std::string msg) { return Status(kBusy, std::move(msg)); }

  bool ok() const { return code_ == kOk; }
  bool IsNotFound() const { return code_ == kNotFound; }
  bool IsInvalidData() const { return code_ == kInvalidData; }
  bool IsBusy() const { return code_ == kBusy; }
  const std::string& message() const { return msg_; }

  void IgnoreError() const {}

 private:
  enum Code { kOk, kNotFound, kIOError, kInvalidData, kBusy };
  Status(Code code, std::string msg) : code_(code), msg_(std::move(msg)) {}

  Code code_ = kOk;
  std::string msg_;
};

}  // namespace chatterwick
