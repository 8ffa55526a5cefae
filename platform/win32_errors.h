// Win32 error codes used as results on every platform. The portable core never
// sees errno: the posix layer maps it to these values.
#pragma once
#include <cstdint>

using WinError = int32_t;

constexpr WinError kErrorSuccess = 0;
constexpr WinError kErrorInvalidFunction = 1;
constexpr WinError kErrorFileNotFound = 2;
constexpr WinError kErrorPathNotFound = 3;
constexpr WinError kErrorTooManyOpenFiles = 4;
constexpr WinError kErrorAccessDenied = 5;
constexpr WinError kErrorInvalidHandle = 6;
constexpr WinError kErrorNotEnoughMemory = 8;
constexpr WinError kErrorInvalidData = 13;
constexpr WinError kErrorWriteProtect = 19;
constexpr WinError kErrorNotReady = 21;
constexpr WinError kErrorCrc = 23;
constexpr WinError kErrorSeek = 25;
constexpr WinError kErrorWriteFault = 29;
constexpr WinError kErrorReadFault = 30;
constexpr WinError kErrorSharingViolation = 32;
constexpr WinError kErrorHandleEof = 38;
constexpr WinError kErrorNotSupported = 50;
constexpr WinError kErrorFileExists = 80;
constexpr WinError kErrorInvalidParameter = 87;
constexpr WinError kErrorBrokenPipe = 109;
constexpr WinError kErrorDiskFull = 112;
constexpr WinError kErrorInvalidName = 123;
constexpr WinError kErrorDirNotEmpty = 145;
constexpr WinError kErrorBusy = 170;
constexpr WinError kErrorAlreadyExists = 183;
constexpr WinError kErrorFilenameExcedRange = 206;
constexpr WinError kErrorNoMoreItems = 259;
constexpr WinError kErrorIoDevice = 1117;

// The one value that means "the user cancelled": progress callbacks return it,
// engines stop and return it, jobs recognise it.
constexpr WinError ScanCancelled = -9527;
