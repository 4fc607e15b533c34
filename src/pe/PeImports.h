// PeImports: lists the libraries and functions a PE file imports, from its bytes, without loading it.
// Plain portable C++ (no Windows headers) so that it can be tested and fuzzed on any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace peimports {

// What a crafted file can make the reader keep, whatever it claims: at most kMaxLibraries import
// descriptors are read and kMaxFunctions functions over all of them, and a name longer than
// kMaxNameBytes is left out, so that a list takes at most a few megabytes.
constexpr std::size_t kMaxLibraries = 1024;
constexpr std::size_t kMaxFunctions = 16384;
constexpr std::size_t kMaxNameBytes = 256;

enum class ImportRead {
    Read,          // the whole import directory was read (a file without one imports nothing)
    Capped,        // a limit above was reached: `libraries` holds what was read up to it, less long names
    NotPe,         // no MZ/PE signatures
    WrongMachine,  // an i386 or AMD64 file with an optional header of the other width
    Malformed,     // headers or tables that point outside the file; `libraries` is empty
};

struct ImportedFunction {
    std::string name;            // as the import gives it, or "#N" for an import by ordinal N
    bool byOrdinal = false;
    std::uint16_t ordinal = 0;   // N, when byOrdinal
};

struct ImportedLibrary {
    std::string name;  // as the import table spells it ("KERNEL32.dll", "msvcr71.dll", ...)
    std::vector<ImportedFunction> functions;
};

struct ImportList {
    ImportRead status = ImportRead::NotPe;
    std::uint16_t machine = 0;  // the COFF machine field of a PE file (0 when the bytes are no PE file)
    std::vector<ImportedLibrary> libraries;  // in the table's order, which is the loader's
};

// Reads the normal import directory of an i386 (PE32) or AMD64 (PE32+) file, library or program. Delay-load
// imports are left out: the loader resolves those only when they are first called. Reads only inside
// [data, data + size), whatever the bytes say, in time bounded by the limits above and about linear in
// the number of sections.
ImportList ReadImports(const unsigned char* data, std::size_t size) noexcept;

// A short English name for a result ("damaged headers", ...), for messages and test output.
const char* Describe(ImportRead status) noexcept;

}  // namespace peimports
