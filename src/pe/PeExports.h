// PeExports: reads a PE file's headers and export directory from its bytes, without loading it.
// Plain portable C++ (no Windows headers) so that it can be tested and fuzzed on any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pefile {
class PageCache;
}

namespace peexports {

// COFF machine types: the two architectures we build for, and one we name when refusing it.
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMachineArm64 = 0xAA64;

enum class ExportCheck {
    Exported,           // a DLL that exports the name (of any processor: see the machine)
    NotPe,              // no MZ/PE signatures (text, empty, truncated before the PE header, ...)
    WrongMachine,       // an i386 or AMD64 file with an optional header of the other width
    NotDll,             // a PE file without the DLL flag (a program)
    NoExportDirectory,  // a DLL with no export directory
    NameAbsent,         // exports, but not this name (as the loader's binary search over the names sees it)
    Malformed,          // headers or tables that point outside the file or contradict themselves
};

struct HeaderCheck {
    ExportCheck check = ExportCheck::NotPe;
    std::uint16_t machine = 0;  // the COFF machine field of a PE file (0 when the bytes are no PE file)

    friend bool operator==(const HeaderCheck&, const HeaderCheck&) = default;
};

// Checks bytes of a file for being a DLL that exports `name` by name, and reports the file's machine
// (i386 files must have a PE32 optional header, AMD64 files a PE32+ one). Reads only inside [data, data + size), whatever the bytes say, and takes
// time at worst about linear in `size`.
HeaderCheck CheckExport(const unsigned char* data, std::size_t size, std::string_view name) noexcept;
// The same check over a file read on demand through `pages` (reset to its source): only the pages that
// hold the headers and the tables it looks at are read. Where pages.Failed() afterwards, a read failed
// and the answer is none.
HeaderCheck CheckExport(pefile::PageCache& pages, std::string_view name) noexcept;

// Whether a PE file, library or program, exports a function by this name, as the loader
// looks it up when it resolves an import (a forwarded export counts: its name is in the table). Gives
// Exported, NameAbsent or NoExportDirectory for a sound file; NotDll never. Same bounds as CheckExport.
ExportCheck LookUpName(const unsigned char* data, std::size_t size, std::string_view name) noexcept;
// The same for an export by ordinal (the number an import gives, the directory's base included).
ExportCheck LookUpOrdinal(const unsigned char* data, std::size_t size, std::uint16_t ordinal) noexcept;

// A short English name for a check result ("not a PE file", ...), for messages and test output.
const char* Describe(ExportCheck check) noexcept;

}  // namespace peexports
