#include "framework/errors.h"

namespace ui {

EInOutError::EInOutError(int errorCode)
    : Exception("I/O-Fehler " + std::to_string(errorCode)), errorCode_(errorCode)
{
}

std::string formatMessage(const char* pattern, const std::string& argument)
{
    std::string text(pattern);
    const auto at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, argument);
    return text;
}

} // namespace ui
