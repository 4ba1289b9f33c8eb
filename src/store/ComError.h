#pragma once

#include <QString>

#include <cstdint>
#include <exception>

// Result codes of the workspace store, in the form Windows uses for them.
using HRESULT = std::int32_t;

namespace hr {
inline constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);
inline constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);
inline constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005);
inline constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT kSharingViolation = static_cast<HRESULT>(0x80070020);
inline constexpr HRESULT kFileExists = static_cast<HRESULT>(0x80070050);
inline constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070);
inline constexpr HRESULT kUnspecified = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT kPointer = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT kNoSuchTable = static_cast<HRESULT>(0x80040E37);
inline constexpr HRESULT kInvalidStatement = static_cast<HRESULT>(0x80040E14);
inline constexpr HRESULT kIntegrityViolation = static_cast<HRESULT>(0x80040E2F);
} // namespace hr

// The text shown for a result code: the message table's text without its final line
// break, else "IDispatch error #n" for 0x80040200..0x8004FFFF, else "Unknown error 0x..".
QString errorTextFor(HRESULT code);

// The one exception type the store raises. It carries only the result code; the text is
// derived from the code, never from the database engine's own message.
class ComError : public std::exception {
public:
    explicit ComError(HRESULT code) : code_(code) {}
    [[nodiscard]] HRESULT Error() const { return code_; }
    [[nodiscard]] QString ErrorMessage() const { return errorTextFor(code_); }
    [[nodiscard]] const char* what() const noexcept override { return "workspace store error"; }

private:
    HRESULT code_;
};
