// The files registry values name, for the registration check: a value's text as a path, and what
// another file found in its place is.
#pragma once

#include <cstdint>
#include <string>

namespace check {

// A value's text as the path it names: environment variables expanded, surrounding blanks and
// quotes removed.
std::string Unwrapped(const std::string& text);

// Whether an unwrapped path is absolute ("X:\..." or "\\server\..."): such a value names one file,
// wherever it is read from.
bool IsAbsolutePath(const std::string& path);

// What a user weighing another file needs to know of it: "exists, 64-bit, version 1.0.0.0", or
// "does not exist". The file is the one a client of the registration's bitness (`machine`) opens:
// on 64-bit Windows, 32-bit and 64-bit programs see different files under the system folder.
std::string DescribeFile(const std::string& path, std::uint16_t machine);

}  // namespace check
