// A failure of the program: an exception carrying the message text shown to the user. Raised
// where the failure arises, caught only by the application shell. Platform-free.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace zarn {

class TFailure : public std::exception {
public:
    explicit TFailure(std::u16string text) : text_(std::move(text)) {}
    const std::u16string& Text() const noexcept { return text_; }
    const char* what() const noexcept override { return "zarn failure"; }

private:
    std::u16string text_;
};

// A notice that the work was done, with something the user must know of (characters that the
// output could not hold were replaced). Raised once the work is complete, caught only by the
// application shell, which shows it with the warning icon.
class TWarning : public std::exception {
public:
    explicit TWarning(std::u16string text) : text_(std::move(text)) {}
    const std::u16string& Text() const noexcept { return text_; }
    const char* what() const noexcept override { return "zarn warning"; }

private:
    std::u16string text_;
};

}  // namespace zarn
