// The framework's exception root: every error the stand-ins raise carries a text for the operator
// and a class name, because handlers tell conversion errors from the rest by that name.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace plat {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    const char* what() const noexcept override { return message_.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

// Text that does not convert to a number, date or time, and date or time parts out of range.
class EConvertError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EConvertError"; }
};

} // namespace plat
