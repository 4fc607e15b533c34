// PeImports: the import list of a PE file's raw bytes; every read is bounds-checked in 64-bit arithmetic.
#include "pe/PeImports.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "pe/PeFile.h"

namespace peimports {
namespace {

using pefile::Bytes;
using pefile::Image;

constexpr std::uint64_t kDescriptorSize = 20;
constexpr std::uint64_t kHintSize = 2;

enum class NameRead { Read, TooLong, Damaged };

// The NUL-terminated string at an RVA, which must end in the region (headers or section) it starts in.
NameRead ReadName(const Image& image, std::uint64_t rva, std::string& name) {
    const auto region = image.Region(rva);
    if (!region) return NameRead::Damaged;
    const auto [offset, length] = *region;
    const Bytes& bytes = image.File();
    const std::uint64_t limit = std::min<std::uint64_t>(length, kMaxNameBytes + 1);
    for (std::uint64_t i = 0; i < limit; ++i) {
        if (bytes.At(offset + i) == 0) {
            name.resize(static_cast<std::size_t>(i));
            for (std::uint64_t k = 0; k < i; ++k) {
                name[static_cast<std::size_t>(k)] = static_cast<char>(bytes.At(offset + k));
            }
            return NameRead::Read;
        }
    }
    return length > kMaxNameBytes ? NameRead::TooLong : NameRead::Damaged;
}

// From the import directory on; Malformed leaves `list.libraries` empty. May throw std::bad_alloc.
ImportRead ReadDirectory(const Image& image, bool wide, std::uint32_t directoryRva, ImportList& list) {
    const Bytes& bytes = image.File();
    const std::uint64_t thunkSize = wide ? 8 : 4;
    const std::uint64_t ordinalFlag = wide ? 0x8000000000000000ull : 0x80000000ull;
    std::size_t functionsLeft = kMaxFunctions;
    bool capped = false;
    list.libraries.reserve(16);
    for (std::uint64_t i = 0;; ++i) {
        const auto descriptor = image.Offset(directoryRva + i * kDescriptorSize, kDescriptorSize);
        if (!descriptor) return ImportRead::Malformed;
        const std::uint32_t lookupRva = *bytes.U32(*descriptor);
        const std::uint32_t nameRva = *bytes.U32(*descriptor + 12);
        const std::uint32_t firstThunk = *bytes.U32(*descriptor + 16);
        // The loader stops at the first descriptor without a name or an address table, as do we.
        if (nameRva == 0 || firstThunk == 0) break;
        if (i == kMaxLibraries || functionsLeft == 0) {
            capped = true;
            break;
        }
        ImportedLibrary library;
        const NameRead nameRead = ReadName(image, nameRva, library.name);
        if (nameRead == NameRead::Damaged) return ImportRead::Malformed;
        // Old linkers leave out the lookup table; the loader then reads the names from the address table.
        const std::uint64_t thunks = lookupRva != 0 ? lookupRva : firstThunk;
        for (std::uint64_t j = 0;; ++j) {
            const auto thunk = image.Offset(thunks + j * thunkSize, thunkSize);
            if (!thunk) return ImportRead::Malformed;
            const std::uint64_t value = wide ? *bytes.U64(*thunk) : *bytes.U32(*thunk);
            if (value == 0) break;
            if (functionsLeft == 0) {
                capped = true;
                break;
            }
            --functionsLeft;
            ImportedFunction function;
            if ((value & ordinalFlag) != 0) {
                function.byOrdinal = true;
                function.ordinal = static_cast<std::uint16_t>(value & 0xFFFF);
                function.name = std::string(1, '#').append(std::to_string(function.ordinal));
            } else {
                // A hint, then the name; the loader reads the address as 32 bits in both widths.
                const NameRead read = ReadName(image, (value & 0xFFFFFFFFull) + kHintSize, function.name);
                if (read == NameRead::Damaged) return ImportRead::Malformed;
                if (read == NameRead::TooLong) {
                    capped = true;
                    continue;
                }
            }
            if (nameRead == NameRead::Read) library.functions.push_back(std::move(function));
        }
        if (nameRead == NameRead::TooLong) {
            capped = true;
            continue;
        }
        list.libraries.push_back(std::move(library));
    }
    return capped ? ImportRead::Capped : ImportRead::Read;
}

}  // namespace

ImportList ReadImports(const unsigned char* data, std::size_t size) noexcept {
    ImportList list;
    const Bytes bytes(data, size);
    pefile::Headers headers;
    if (pefile::ReadFileHeader(bytes, headers) != pefile::HeaderStatus::Sound) return list;
    list.machine = headers.machine;
    switch (pefile::ReadOptionalHeader(bytes, headers)) {
        case pefile::HeaderStatus::Sound: break;
        case pefile::HeaderStatus::WrongMachine: list.status = ImportRead::WrongMachine; return list;
        default: list.status = ImportRead::Malformed; return list;
    }
    const auto imports = pefile::Directory(bytes, headers, pefile::kImportDirectoryIndex);
    if (!imports) {
        list.status = ImportRead::Read;
        return list;
    }
    try {
        const auto image = pefile::MapImage(bytes, headers);
        list.status = image ? ReadDirectory(*image, headers.wide, imports->rva, list) : ImportRead::Malformed;
    } catch (const std::bad_alloc&) {
        // A few megabytes at most; if even that is refused, the list cannot be vouched for.
        list.status = ImportRead::Malformed;
    }
    if (list.status == ImportRead::Malformed) list.libraries.clear();
    return list;
}

const char* Describe(ImportRead status) noexcept {
    switch (status) {
        case ImportRead::Read: return "imports read";
        case ImportRead::Capped: return "imports read up to a limit";
        case ImportRead::NotPe: return "not a PE file";
        case ImportRead::WrongMachine: return "built for another processor";
        case ImportRead::Malformed: return "damaged headers";
    }
    return "unknown";
}

}  // namespace peimports
