// PeExports: reads a PE file's headers and export directory from its bytes, without loading it.
// Plain portable C++ (no Windows headers) so that it can be tested and fuzzed on any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace peexports {

// COFF machine types of the two architectures we build for.
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;

enum class ExportCheck {
    Exported,           // a DLL of the wanted machine that exports the name
    NotPe,              // no MZ/PE signatures (text, empty, truncated before the PE header, ...)
    WrongMachine,       // a PE file for another machine (or with an optional header of the other width)
    NotDll,             // a PE file without the DLL flag (a program)
    NoExportDirectory,  // a DLL with no export directory
    NameAbsent,         // exports, but not this name
    Malformed,          // headers or tables that point outside the file or contradict themselves
};

// Checks bytes of a file for being a PE DLL for `machine` that exports `name` by name. Reads only inside
// [data, data + size), whatever the bytes say.
ExportCheck CheckExport(const unsigned char* data, std::size_t size, std::uint16_t machine,
                        std::string_view name) noexcept;

// A short English name for a check result ("not a PE file", ...), for messages and test output.
const char* Describe(ExportCheck check) noexcept;

}  // namespace peexports
