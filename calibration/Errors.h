// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace carteva {

// Every failure the user can see travels as an Error whose what() is the exact message (UTF-8).
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class EInvalidOp : public Error
{
public:
    EInvalidOp()
        : Error("Invalid floating point operation")
    { }
};

class EZeroDivide : public Error
{
public:
    EZeroDivide()
        : Error("Floating point division by zero")
    { }
};

class EOverflow : public Error
{
public:
    EOverflow()
        : Error("Floating point overflow")
    { }
};

class EConvertError : public Error
{
public:
    using Error::Error;

    // ''text'' is not a valid integer value
    static EConvertError NotAnInteger(std::u16string_view text);
    // ''text'' is not a valid floating point value
    static EConvertError NotAFloat(std::u16string_view text);
};

// Stops an operation quietly: the general error handler drops it without a message.
class EAbort : public Error
{
public:
    EAbort()
        : Error("Operation aborted")
    { }
};

} // namespace carteva
