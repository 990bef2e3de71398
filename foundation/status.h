// Status: the result of an operation that can fail, as leveldb's Status.
//
// Success carries nothing; a failure carries a code and a text of the form
// "context: detail" (for file errors: operation, path, system text). Inner
// layers (platform, table engine) return Status; the outer layers turn it into
// the boolean/numeric results and the log line their interfaces require.
#ifndef PV_FOUNDATION_STATUS_H_
#define PV_FOUNDATION_STATUS_H_

#include <string>
#include <utility>

namespace pv {

// [[nodiscard]]: a Status that is dropped is a compile error (-Werror). A
// caller that has a reason to go on whatever happened says so with
// IgnoreError() and a comment giving the reason.
class [[nodiscard]] Status {
 public:
  enum class Code {
    kOk = 0,
    kNotFound,         // a file, record, key or name that does not exist
    kCorruption,       // bytes on disk that break the format's rules
    kNotSupported,     // a valid file using a feature we do not handle
    kInvalidArgument,  // the caller passed something unusable
    kIOError,          // the operating system refused or failed
    kBusy,             // a lock held elsewhere, a time limit reached
  };

  Status() = default;

  static Status OK() { return Status(); }
  static Status NotFound(std::string msg) { return Status(Code::kNotFound, std::move(msg)); }
  static Status Corruption(std::string msg) { return Status(Code::kCorruption, std::move(msg)); }
  static Status NotSupported(std::string msg) { return Status(Code::kNotSupported, std::move(msg)); }
  static Status InvalidArgument(std::string msg) {
    return Status(Code::kInvalidArgument, std::move(msg));
  }
  static Status IOError(std::string msg) { return Status(Code::kIOError, std::move(msg)); }
  static Status Busy(std::string msg) { return Status(Code::kBusy, std::move(msg)); }

  bool ok() const { return code_ == Code::kOk; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }
  bool IsCorruption() const { return code_ == Code::kCorruption; }
  bool IsNotSupported() const { return code_ == Code::kNotSupported; }
  bool IsInvalidArgument() const { return code_ == Code::kInvalidArgument; }
  bool IsIOError() const { return code_ == Code::kIOError; }
  bool IsBusy() const { return code_ == Code::kBusy; }

  Code code() const { return code_; }
  const std::string& message() const { return msg_; }

  // "OK", or the code's name, ": " and the message.
  std::string ToString() const;

  // Drops the result on purpose (see above).
  void IgnoreError() const {}

 private:
  Status(Code code, std::string msg) : code_(code), msg_(std::move(msg)) {}

  Code code_ = Code::kOk;
  std::string msg_;
};

}  // namespace pv

#endif  // PV_FOUNDATION_STATUS_H_
