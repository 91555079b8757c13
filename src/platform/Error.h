#pragma once
// The outcome of a platform call that can fail: the system's error code
// (an errno value on POSIX systems, a GetLastError value on Windows), or none
// for success, and the system's text for it. Every platform call that can
// fail gives one, or an object that carries it (File::OpenError); the
// compiler refuses a call whose outcome is dropped without a word.

#include <string>

namespace platform {

class [[nodiscard]] Error {
public:
    // Success.
    constexpr Error() noexcept = default;
    constexpr explicit Error(int code) noexcept : code_(code) {}

    // Whether the call failed.
    constexpr explicit operator bool() const noexcept { return code_ != 0; }
    // Whether the call succeeded.
    constexpr bool Ok() const noexcept { return code_ == 0; }
    constexpr int Code() const noexcept { return code_; }
    // The system's text for the code (on Windows a "%1" in it is filled with
    // subject, the file the error is about).
    std::string Message(const std::string& subject = {}) const;

    constexpr bool operator==(const Error&) const noexcept = default;

private:
    int code_ = 0;
};

// Leaves the outcome of a clean-up whose failure the caller deliberately
// accepts: what is left is harmless, and is replaced, named or removed later.
// Each call says why.
constexpr void BestEffort(Error) noexcept {}

}  // namespace platform
