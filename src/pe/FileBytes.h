// A file as the header readers' byte source: opened to look, read at offsets with ordinary reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "pe/PeFile.h"
#include "win32/Handles.h"

namespace registration {

class FileBytes final : public pefile::ByteSource {
public:
    explicit FileBytes(const std::string& path) noexcept {
        // Others may go on reading, writing or even deleting the file: we only look.
        file_.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr));
        if (!win32::IsValid(file_)) error_ = ::GetLastError();
    }

    // Asked for only once the file looks like a program file: most files are decided without it.
    std::uint64_t Size() const override {
        if (!sized_ && error_ == ERROR_SUCCESS) {
            LARGE_INTEGER size{};
            if (::GetFileSizeEx(file_.get(), &size)) {
                size_ = static_cast<std::uint64_t>(size.QuadPart);
            } else {
                error_ = ::GetLastError();
            }
            sized_ = true;
        }
        return size_;
    }

    // Whether the file starts with "MZ", the mark of every program file: one read of two bytes, which
    // decides most files of a folder. False also when it cannot be read (see Error).
    bool StartsLikeProgram() {
        unsigned char mark[2] = {};
        return ReadAt(0, mark, sizeof mark) == sizeof mark && mark[0] == 'M' && mark[1] == 'Z';
    }

    // Whether the file starts with the mark of a type library file of either format ("MSFT", or the
    // older "SLTG"): one read of four bytes.
    bool StartsLikeTypeLibrary() {
        unsigned char mark[4] = {};
        if (ReadAt(0, mark, sizeof mark) != sizeof mark) return false;
        return (mark[0] == 'M' && mark[1] == 'S' && mark[2] == 'F' && mark[3] == 'T') ||
               (mark[0] == 'S' && mark[1] == 'L' && mark[2] == 'T' && mark[3] == 'G');
    }
    bool Read(std::uint64_t offset, unsigned char* into, std::size_t count) override {
        const DWORD read = ReadAt(offset, into, count);
        if (error_ != ERROR_SUCCESS) return false;
        if (read != count) {  // cut short since we took its size
            error_ = ERROR_HANDLE_EOF;
            return false;
        }
        return true;
    }

    // The system error of the open or of a read; ERROR_SUCCESS otherwise.
    DWORD Error() const noexcept { return error_; }

private:
    // The bytes read at `offset`, through the file pointer (moved only when it is elsewhere), error_ set
    // when the read failed. A read that carries its offset in an OVERLAPPED costs Wine a second request
    // to its server per read (a completion is posted for it): a third more per file of a walk.
    DWORD ReadAt(std::uint64_t offset, unsigned char* into, std::size_t count) {
        if (error_ != ERROR_SUCCESS) return 0;
        if (offset != position_) {
            LARGE_INTEGER to{};
            to.QuadPart = static_cast<LONGLONG>(offset);
            if (!::SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN)) {
                error_ = ::GetLastError();
                return 0;
            }
            position_ = offset;
        }
        DWORD read = 0;
        if (!::ReadFile(file_.get(), into, static_cast<DWORD>(count), &read, nullptr)) {
            error_ = ::GetLastError();
            position_ = ~std::uint64_t{0};  // unknown: placed again by the next read
            return 0;
        }
        position_ += read;
        return read;
    }

    win32::unique_handle file_;
    std::uint64_t position_ = 0;  // the file pointer's, ~0 when unknown
    mutable std::uint64_t size_ = 0;
    mutable bool sized_ = false;
    mutable DWORD error_ = ERROR_SUCCESS;
};

}  // namespace registration
