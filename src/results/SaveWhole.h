// Writing a file whole or not at all, for the CSV report and the .reg files.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace velquist {

// Writes bytes to path whole or not at all: into a new file beside it, then put in its place.
// False with the system error when it could not be written (nothing is left behind then).
bool SaveWhole(const std::string& path, std::string_view bytes, DWORD& error);

}  // namespace velquist
