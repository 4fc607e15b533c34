// Writing a file whole or not at all: a temporary file beside the target, then moved over it.
#include "results/SaveWhole.h"

#include "win32/Handles.h"

namespace velquist {

bool SaveWhole(const std::string& path, std::string_view bytes, DWORD& error) {
    error = ERROR_SUCCESS;
    // Beside the target, so that the move is a rename on the same volume and a reader never sees half a file.
    const std::string temporary = path + ".velquist-" + std::to_string(::GetCurrentProcessId()) + ".tmp";
    {
        win32::unique_handle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!win32::IsValid(file)) {
            error = ::GetLastError();
            return false;
        }
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size() || !::FlushFileBuffers(file.get())) {
            error = ::GetLastError();
            if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
            file.reset();
            ::DeleteFileA(temporary.c_str());
            return false;
        }
    }
    if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
        ::DeleteFileA(temporary.c_str());
        return false;
    }
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

}  // namespace velquist
