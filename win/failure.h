// What the program tells the user of a run, as exceptions carrying the message text: a failure,
// or a warning about work that was done. Raised where it arises, caught only by the application
// shell. Platform-free.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace zarn {

// An exception carrying a message text for the user.
class TMessageException : public std::exception {
public:
    explicit TMessageException(std::u16string text) : text_(std::move(text)) {}
    const std::u16string& Text() const noexcept { return text_; }

private:
    std::u16string text_;
};

class TFailure : public TMessageException {
public:
    using TMessageException::TMessageException;
    const char* what() const noexcept override { return "zarn failure"; }
};

// The work was done, with something the user must know of (characters that the output could not
// hold were replaced). Raised once the work is complete; the shell shows it with the warning icon.
class TWarning : public TMessageException {
public:
    using TMessageException::TMessageException;
    const char* what() const noexcept override { return "zarn warning"; }
};

}  // namespace zarn
