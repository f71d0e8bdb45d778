// Win32 error codes as the rest of the platform layer reports them. Only
// the *-win32.cpp files include this.
#pragma once

#include <string>

namespace platform {

// The system's text for a Win32 error code, without the trailing newline.
std::string SystemErrorMessage(unsigned long code);

// The errno value closest to a Win32 error code, for calls whose contract
// reports through errno.
int ErrnoFromSystemError(unsigned long code);

}  // namespace platform
