// The one result of everything in corvantis that can fail: the platform's file
// operations, the image readers, the analyser's load and the plugins.
//
// A `Status` is ok, or carries a one-line message naming what failed, ready to be shown
// to the user after the program's own prefix. A failure is either an error or "not
// supported": the operation declined something that is not its kind (a reader handed
// another reader's variant), and whoever asked may try elsewhere. Header only, with no
// dependency, so that every layer can return it.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace corvantis {

class Status {
 public:
  static Status success() { return Status(); }
  // "<context>: <detail>", the form of the platform's messages ("path: reason").
  static Status error(const std::string& context, const std::string& detail) {
    Status status(Code::kError, context + ": " + detail);
    status.reasonAt_ = context.size() + 2;
    return status;
  }
  // A failure whose message already says everything.
  static Status error(std::string message) { return Status(Code::kError, std::move(message)); }
  // Declined rather than failed: not this operation's kind of input.
  static Status notSupported(std::string message) {
    return Status(Code::kNotSupported, std::move(message));
  }

  bool ok() const { return code_ == Code::kOk; }
  bool isNotSupported() const { return code_ == Code::kNotSupported; }
  // Empty when ok.
  const std::string& message() const { return message_; }
  // The message without its context, for a caller that names the file in words of its
  // own ("No space left on device" of "page.html.Xy3k: No space left on device").
  std::string reason() const { return message_.substr(reasonAt_); }

 private:
  enum class Code { kOk, kError, kNotSupported };
  Status() = default;
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
  std::size_t reasonAt_ = 0;
};

}  // namespace corvantis
