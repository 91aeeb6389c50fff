#pragma once
// The exception classes of the UI framework. A failure is an exception; what
// leaves an event handler is shown by the application's default error box.
#include <stdexcept>
#include <string>

namespace ui {

// Base of every exception the program raises on purpose; the text is what the
// user reads in the error box (without its closing full stop).
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// "I/O-Fehler %d" with the system's error number.
class EInOutError : public Exception {
public:
    explicit EInOutError(int errorCode);
    int errorCode() const { return errorCode_; }

private:
    int errorCode_;
};

// A media device refused an operation; the text is the device's.
class EMCIDeviceError : public Exception {
public:
    using Exception::Exception;
};

// The framework's variant conversion error.
class EVariantError : public Exception {
public:
    using Exception::Exception;
};

// Formats like the framework's Format for the few patterns the program uses
// (%s, %d, %8.8X).
std::string formatMessage(const char* pattern, const std::string& argument);

} // namespace ui
