// Short English texts for the Win32 codes the engines and jobs report.
#pragma once

#include <string>

#include "platform/win32_errors.h"

// "access denied (5)"; codes without a text read "error N".
std::string ErrorText(WinError code);
