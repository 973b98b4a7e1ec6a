#pragma once

#include "base/Exception.h"

#include <cstdint>

// The address-watch subsystem's errors.
class EIdException : public Exception {
public:
    using Exception::Exception;
};

// A socket call failed; ErrorCode is the socket error number.
class EIdSocketError : public EIdException {
public:
    EIdSocketError(std::string message, int32_t code)
        : EIdException(std::move(message)), ErrorCode(code) {}
    int32_t ErrorCode;
};

class EIdStackError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdStackInitializationFailed : public EIdStackError {
public:
    using EIdStackError::EIdStackError;
};

class EIdStackSetSizeExceeded : public EIdStackError {
public:
    using EIdStackError::EIdStackError;
};

class EIdStackCanNotLoadWinsock : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdInvalidServiceName : public EIdException {
public:
    using EIdException::EIdException;
};
