// The errors that the window components raise to their caller, each carrying its message text
// (and, for failures of the shell's object system, the result code).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "common/Text.h"

class EtbError : public std::runtime_error {
  public:
    explicit EtbError(const std::u16string& message)
        : std::runtime_error(text::toUtf8(message)), message_(message) {}
    const std::u16string& Message() const { return message_; }

  private:
    std::u16string message_;
};

// An operation that the control's current state does not allow (an inverted range).
class EInvalidOperation : public EtbError {
  public:
    using EtbError::EtbError;
};

// A failing result code (negative HRESULT) of the shell's taskbar object.
class EOleSysError : public EtbError {
  public:
    EOleSysError(const std::u16string& message, std::int32_t errorCode)
        : EtbError(message), ErrorCode(errorCode) {}
    const std::int32_t ErrorCode;
};

// The system's text for a result code without its closing full stop and line break, or
// "OLE error XXXXXXXX" when the system has none.
std::u16string SysErrorMessageFor(std::int32_t errorCode);
// Raises EOleSysError for a negative result code.
void OleCheck(std::int32_t result);
