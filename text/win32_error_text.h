#pragma once

#include <string>

// What the system says of a Win32 error code, as one sentence without its final ".\r\n",
// so our own words can follow it; "error N" when the system has no text for it.
std::string Win32ErrorText(unsigned long error);
