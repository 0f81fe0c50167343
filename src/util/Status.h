// The outcome of an operation that can fail for a reason the user should read: success, or failure
// with one sentence that says why ("the package document OEBPS/content.opf is not well-formed: ...").
#pragma once

#include <string>
#include <utility>

namespace util {

class Status {
  public:
    // Success.
    Status() = default;
    // Failure with its reason.
    static Status Failure(std::string reason) { return Status(std::move(reason)); }

    bool Ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    // Why it failed; empty on success.
    const std::string& Reason() const { return reason_; }

  private:
    explicit Status(std::string reason) : ok_(false), reason_(std::move(reason)) {}
    bool ok_ = true;
    std::string reason_;
};

}  // namespace util
