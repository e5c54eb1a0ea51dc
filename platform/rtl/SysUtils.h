#pragma once
// Run-time library basics: the exception root and the conversions every unit uses.

#include <stdexcept>
#include <string>

namespace rtl {

// Root of every error the program raises on purpose. The message is the text
// the user sees, UTF-8.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A text that does not convert to the wanted type (StrToInt and friends).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace rtl
