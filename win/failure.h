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

}  // namespace zarn
