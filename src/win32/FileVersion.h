// A file's version as its version resource gives it, read without loading the file.
#pragma once

#include <windows.h>
#include <winver.h>

#include <optional>
#include <string>

namespace win32 {

// The fixed-size block of the file's version resource; none when it has no version resource (or no file).
std::optional<VS_FIXEDFILEINFO> FixedFileInfo(const std::string& path);

}  // namespace win32
