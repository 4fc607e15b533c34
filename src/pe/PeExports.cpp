// PeExports: the export check on a PE file's raw bytes; every read is bounds-checked in 64-bit arithmetic.
#include "pe/PeExports.h"

#include <new>
#include <optional>

#include "pe/PeFile.h"

namespace peexports {
namespace {

using pefile::Bytes;
using pefile::Image;

constexpr std::size_t kExportDirectorySize = 40;

// What an export lookup asks for: a name, or an ordinal (the number imports use, Base included).
struct Wanted {
    std::string_view name;
    std::optional<std::uint32_t> ordinal;
};

// Whether the function at an index of the export address table exists.
ExportCheck FunctionAt(const Image& image, std::uint64_t directory, std::uint64_t index) {
    const Bytes& bytes = image.File();
    if (index >= *bytes.U32(directory + 20)) return ExportCheck::Malformed;
    const auto function = image.Offset(std::uint64_t{*bytes.U32(directory + 28)} + index * 4, 4);
    if (!function) return ExportCheck::Malformed;
    return *bytes.U32(*function) != 0 ? ExportCheck::Exported : ExportCheck::NameAbsent;
}

// From the export directory on: finds the wanted export.
ExportCheck FindExport(const Image& image, std::uint32_t exportRva, const Wanted& wanted) {
    const Bytes& bytes = image.File();
    const auto directory = image.Offset(exportRva, kExportDirectorySize);
    if (!directory) return ExportCheck::Malformed;
    if (wanted.ordinal) {
        // The loader takes the ordinal less the directory's base as the index into the functions.
        const std::uint32_t base = *bytes.U32(*directory + 16);
        if (*wanted.ordinal < base) return ExportCheck::NameAbsent;
        const std::uint64_t index = *wanted.ordinal - base;
        return index >= *bytes.U32(*directory + 20) ? ExportCheck::NameAbsent : FunctionAt(image, *directory, index);
    }
    const std::uint32_t nameCount = *bytes.U32(*directory + 24);
    const std::uint32_t namesRva = *bytes.U32(*directory + 32);
    const std::uint32_t ordinalsRva = *bytes.U32(*directory + 36);
    if (nameCount == 0) return ExportCheck::NameAbsent;
    const auto names = image.Offset(namesRva, std::uint64_t{nameCount} * 4);
    const auto ordinals = image.Offset(ordinalsRva, std::uint64_t{nameCount} * 2);
    if (!names || !ordinals) return ExportCheck::Malformed;

    // GetProcAddress finds a name by binary search (in Windows and in Wine), so the linker sorts the names;
    // searching the same way gives the loader's answer, also for a table out of order, in O(log names).
    std::int64_t low = 0;
    std::int64_t high = std::int64_t{nameCount} - 1;
    while (low <= high) {
        const std::int64_t middle = (low + high) / 2;
        const auto order = image.Compare(*bytes.U32(*names + static_cast<std::uint64_t>(middle) * 4), wanted.name);
        if (!order) return ExportCheck::Malformed;
        if (*order < 0) {
            low = middle + 1;
        } else if (*order > 0) {
            high = middle - 1;
        } else {
            // The name must lead to a function that exists (a forwarder's string counts).
            return FunctionAt(image, *directory, *bytes.U16(*ordinals + static_cast<std::uint64_t>(middle) * 2));
        }
    }
    return ExportCheck::NameAbsent;
}

// The whole lookup; `requireDll` refuses programs, as a registration entry point needs a library.
HeaderCheck LookUp(const Bytes& bytes, const Wanted& wanted, bool requireDll) noexcept {
    HeaderCheck result;
    pefile::Headers headers;
    if (pefile::ReadFileHeader(bytes, headers) != pefile::HeaderStatus::Sound) return result;
    result.machine = headers.machine;
    const auto answer = [&result](ExportCheck check) {
        result.check = check;
        return result;
    };
    if (requireDll && (headers.characteristics & pefile::kFileDll) == 0) return answer(ExportCheck::NotDll);
    switch (pefile::ReadOptionalHeader(bytes, headers)) {
        case pefile::HeaderStatus::Sound: break;
        case pefile::HeaderStatus::WrongMachine: return answer(ExportCheck::WrongMachine);
        default: return answer(ExportCheck::Malformed);
    }
    const auto exports = pefile::Directory(bytes, headers, pefile::kExportDirectoryIndex);
    if (!exports) return answer(ExportCheck::NoExportDirectory);
    try {
        const auto image = pefile::MapImage(bytes, headers);
        if (!image) return answer(ExportCheck::Malformed);
        return answer(FindExport(*image, exports->rva, wanted));
    } catch (const std::bad_alloc&) {
        // At most a few megabytes for 65,535 sections; if even that is refused, the file cannot be vouched for.
        return answer(ExportCheck::Malformed);
    }
}

}  // namespace

HeaderCheck CheckExport(const unsigned char* data, std::size_t size, std::string_view name) noexcept {
    return LookUp(Bytes(data, size), Wanted{name, std::nullopt}, true);
}

HeaderCheck CheckExport(pefile::PageCache& pages, std::string_view name) noexcept {
    return LookUp(Bytes(pages), Wanted{name, std::nullopt}, true);
}

ExportCheck LookUpName(const unsigned char* data, std::size_t size, std::string_view name) noexcept {
    return LookUp(Bytes(data, size), Wanted{name, std::nullopt}, false).check;
}

ExportCheck LookUpOrdinal(const unsigned char* data, std::size_t size, std::uint16_t ordinal) noexcept {
    return LookUp(Bytes(data, size), Wanted{{}, ordinal}, false).check;
}

const char* Describe(ExportCheck check) noexcept {
    switch (check) {
        case ExportCheck::Exported: return "exported";
        case ExportCheck::NotPe: return "not a PE file";
        case ExportCheck::WrongMachine: return "built for another processor";
        case ExportCheck::NotDll: return "not a DLL";
        case ExportCheck::NoExportDirectory: return "exports nothing";
        case ExportCheck::NameAbsent: return "does not export the entry point";
        case ExportCheck::Malformed: return "damaged headers";
    }
    return "unknown";
}

}  // namespace peexports
