#pragma once

#include <cstdint>

namespace tidewell::errnum {

// Numbers the reader records besides those of app/RuntimeError.h. Request
// failures keep the numbers the request objects gave them (Win32 errors in
// facility 7), so a reader of LastErrorCode sees the values it always saw.
inline constexpr int OutOfMemory = 7;
inline constexpr int ObjectVariableNotSet = 91;
inline constexpr int MethodNotSupported = 438;
inline constexpr int Fail = -2147467259;          // E_FAIL
inline constexpr int InvalidArgument = -2147024809; // E_INVALIDARG

constexpr int requestError(int win32Code)
{
    return static_cast<int>(0x80070000u | static_cast<std::uint32_t>(win32Code));
}

inline constexpr int RequestTimeout = requestError(12002);
inline constexpr int RequestInvalidUrl = requestError(12005);
inline constexpr int RequestUnrecognizedScheme = requestError(12006);
inline constexpr int RequestNameNotResolved = requestError(12007);
inline constexpr int RequestCannotConnect = requestError(12029);
inline constexpr int RequestConnectionError = requestError(12030);
inline constexpr int RequestNotOpened = requestError(12100);
inline constexpr int RequestNotSent = requestError(12101);
inline constexpr int RequestInvalidResponse = requestError(12152);
inline constexpr int RequestRedirectFailed = requestError(12156);
inline constexpr int RequestSecureFailure = requestError(12175);
inline constexpr int RequestResponseTooLarge = requestError(12184);

} // namespace tidewell::errnum
