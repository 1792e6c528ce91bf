#pragma once

#include <cstdint>
#include <string>

#include "portable/move_error.h"

// A failed move as the user is shown it, from the Windows system error that reported it: the
// words of the tool's own table, "File name too long" for a name past the system's limit, and
// for any other error the C runtime's text of the errno the runtime maps it to.
MoveResult moveFailureOfWindowsError(uint32_t error);

// The same words for a Windows system error of any call (a failed write of the output).
std::string windowsErrorText(uint32_t error);
