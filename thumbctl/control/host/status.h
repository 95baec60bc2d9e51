#pragma once
// Status codes of the automation layer and the exception record a failed
// call fills in. Codes keep the values containers of such controls know.
#include <cstdint>
#include <string>

namespace host {

using Status = int32_t;

constexpr Status kOk = 0;
constexpr Status kFalse = 1;
constexpr Status kNotImplemented = int32_t(0x80004001u);
constexpr Status kNoInterface = int32_t(0x80004002u);
constexpr Status kInvalidPointer = int32_t(0x80004003u);
constexpr Status kFail = int32_t(0x80004005u);
constexpr Status kUnexpected = int32_t(0x8000FFFFu);
constexpr Status kOutOfMemory = int32_t(0x8007000Eu);
constexpr Status kInvalidArg = int32_t(0x80070057u);
// Dispatch failures.
constexpr Status kUnknownName = int32_t(0x80020006u);
constexpr Status kMemberNotFound = int32_t(0x80020003u);
constexpr Status kBadParamCount = int32_t(0x8002000Eu);
constexpr Status kTypeMismatch = int32_t(0x80020005u);
constexpr Status kOverflow = int32_t(0x8002000Au);
constexpr Status kException = int32_t(0x80020009u);  // details in the exception record
// Class creation.
constexpr Status kClassNotRegistered = int32_t(0x80040154u);
constexpr Status kNoAggregation = int32_t(0x80040110u);
constexpr Status kClassNotAvailable = int32_t(0x80040111u);
constexpr Status kModuleNotFound = int32_t(0x8007007Eu);
// Self-registration.
constexpr Status kSelfRegTypeLib = int32_t(0x80040200u);
constexpr Status kSelfRegClass = int32_t(0x80040201u);
// Control errors carried in the exception record (0x800A0000 + number).
constexpr Status kCtlInvalidPropertyValue = int32_t(0x800A017Cu);  // 380
constexpr Status kCtlSetNotSupported = int32_t(0x800A017Fu);       // 383
constexpr Status kCtlGetNotSupported = int32_t(0x800A018Au);       // 394

inline bool Succeeded(Status s) { return s >= 0; }
inline bool Failed(Status s) { return s < 0; }

// What a call that failed with kException raised.
struct ExceptionInfo {
    Status code = 0;          // control error status, e.g. kCtlInvalidPropertyValue
    int helpId = 0;           // number of the description in the string table (201, 202), or 0
    std::string source;       // ProgID of the object
    std::string description;  // UTF-8 text to show the user
    void clear() { *this = ExceptionInfo(); }
};

// Short English text of a status for messages and tool output
// ("class not registered", "unknown name" ...).
std::string StatusText(Status s);
// "0x80040154" form.
std::string StatusHex(Status s);

} // namespace host
