#pragma once

#include <exception>
#include <string>
#include <utility>

// Base of every exception the program raises for misuse detected at a call.
// It carries only a message; subclasses add what their callers need (an
// error code, for instance). Header-only so that libraries without Qt can
// derive from it.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& message() const noexcept { return m_message; }

private:
    std::string m_message;
};

// A file could not be opened, read or written. The message names the file
// and the system's reason.
class EInOutError : public Exception {
public:
    EInOutError(std::string message, int errorCode)
        : Exception(std::move(message)), m_errorCode(errorCode)
    {
    }
    int errorCode() const noexcept { return m_errorCode; }

private:
    int m_errorCode;
};
