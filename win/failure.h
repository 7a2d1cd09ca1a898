// What the program tells the user of a run, as exceptions carrying the message text: a failure,
// or a warning about work that was done. Raised where it arises, caught only by the application
// shell. Platform-free.
#pragma once

#include <exception>
#include <functional>
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

// The report of one start, kept by the application shell. The dispatch runs the work for each file
// of the start through Guard, which takes what that work raises (TFailure, TWarning, anything else
// as a failure with no text) into the report, so that the next file is worked on all the same; then
// Show shows the report in one box and returns when the user has dismissed it (nothing when it
// holds nothing).
class TStartReport {
public:
    virtual void Guard(const std::function<void()>& work) = 0;
    virtual void Show() = 0;

protected:
    ~TStartReport() = default;
};

}  // namespace zarn
