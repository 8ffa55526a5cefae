#include "cli/error_text.h"

namespace {

struct ErrorName {
  WinError code;
  const char* text;
};

constexpr ErrorName kErrorNames[] = {
    {kErrorFileNotFound, "file not found"},
    {kErrorPathNotFound, "path not found"},
    {kErrorAccessDenied, "access denied"},
    {kErrorNotEnoughMemory, "not enough memory"},
    {kErrorInvalidData, "invalid data"},
    {kErrorWriteProtect, "the medium is write-protected"},
    {kErrorNotReady, "the device is not ready"},
    {kErrorWriteFault, "cannot write (impossible cluster size)"},
    {kErrorReadFault, "cannot read the source"},
    {kErrorSharingViolation, "the file is in use"},
    {kErrorHandleEof, "reached the end of the data before the file's size"},
    {kErrorNotSupported, "not supported"},
    {kErrorFileExists, "the file exists"},
    {kErrorInvalidParameter, "invalid entry or parameter"},
    {kErrorDiskFull, "the destination is full"},
    {kErrorInvalidName, "invalid file name"},
    {kErrorAlreadyExists, "already exists"},
    {kErrorFilenameExcedRange, "the path is too long"},
    {kErrorIoDevice, "I/O device error"},
    {ScanCancelled, "cancelled"},
};

}  // namespace

std::string ErrorText(WinError code) {
  for (const ErrorName& name : kErrorNames) {
    if (name.code == code) return std::string(name.text) + " (" + std::to_string(code) + ")";
  }
  return "error " + std::to_string(code);
}
