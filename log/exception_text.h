#pragma once

#include <exception>
#include <string>

// What an exception says, for the log: its what(), or that it was of no known kind.
std::string ExceptionText(const std::exception_ptr& error);
