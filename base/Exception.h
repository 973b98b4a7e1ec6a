#pragma once

#include <exception>
#include <string>

// The program's errors: an exception carries the text that the error report shows.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

// A file that cannot be opened for reading.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be created or written.
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// A position outside a list.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A text that is not a number where a number is needed.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
