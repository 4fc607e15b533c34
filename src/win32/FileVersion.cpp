// A file's fixed version information, read once for every room that shows a version.
#include "win32/FileVersion.h"

#include <vector>

namespace win32 {

std::optional<VS_FIXEDFILEINFO> FixedFileInfo(const std::string& path) {
    if (path.empty()) return std::nullopt;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<char> record(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, record.data())) return std::nullopt;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(record.data(), "\\", &value, &length) || value == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    return *static_cast<const VS_FIXEDFILEINFO*>(value);
}

}  // namespace win32
