// PeExports: the export check on a PE file's raw bytes; every read is bounds-checked in 64-bit arithmetic.
#include "registration/PeExports.h"

#include <optional>

namespace peexports {
namespace {

// Offsets and constants of the PE/COFF format.
constexpr std::size_t kDosSize = 0x40;
constexpr std::size_t kDosLfanew = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;  // after the 4-byte "PE\0\0"
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kExportDirectorySize = 40;

class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() const { return size_; }
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        if (!Has(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        if (!Has(offset, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(data_[offset]) | (static_cast<std::uint32_t>(data_[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(data_[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(data_[offset + 3]) << 24);
    }
    // True if a NUL-terminated string equal to `name` starts at offset (the NUL inside the file).
    bool NameAt(std::uint64_t offset, std::string_view name) const {
        if (!Has(offset, name.size() + 1)) return false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (data_[offset + i] != static_cast<unsigned char>(name[i])) return false;
        }
        return data_[offset + name.size()] == 0;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
};

struct Sections {
    std::uint64_t table = 0;  // file offset of the first section header
    std::uint32_t count = 0;
    std::uint32_t sizeOfHeaders = 0;
};

// The file offset of `count` bytes at an RVA, if they lie wholly in the file's data of one section
// (or in the headers, which are mapped at RVA 0).
std::optional<std::uint64_t> RvaToOffset(const Bytes& bytes, const Sections& sections, std::uint64_t rva,
                                         std::uint64_t count) {
    if (rva + count <= sections.sizeOfHeaders && bytes.Has(rva, count)) return rva;
    for (std::uint32_t i = 0; i < sections.count; ++i) {
        const std::uint64_t header = sections.table + std::uint64_t{i} * kSectionHeaderSize;
        const auto virtualAddress = bytes.U32(header + 12);
        const auto rawSize = bytes.U32(header + 16);
        const auto rawPointer = bytes.U32(header + 20);
        if (!virtualAddress || !rawSize || !rawPointer) return std::nullopt;
        if (rva < *virtualAddress) continue;
        const std::uint64_t inSection = rva - *virtualAddress;
        if (inSection >= *rawSize) continue;
        if (count > *rawSize - inSection) return std::nullopt;  // runs past the section's data
        const std::uint64_t offset = std::uint64_t{*rawPointer} + inSection;
        if (!bytes.Has(offset, count)) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

}  // namespace

ExportCheck CheckExport(const unsigned char* data, std::size_t size, std::uint16_t machine,
                        std::string_view name) noexcept {
    const Bytes bytes(data, data == nullptr ? 0 : size);
    if (!bytes.Has(0, kDosSize) || data[0] != 'M' || data[1] != 'Z') return ExportCheck::NotPe;
    const std::uint64_t pe = *bytes.U32(kDosLfanew);
    if (!bytes.Has(pe, 4 + kFileHeaderSize) || data[pe] != 'P' || data[pe + 1] != 'E' || data[pe + 2] != 0 ||
        data[pe + 3] != 0) {
        return ExportCheck::NotPe;
    }
    const std::uint64_t fileHeader = pe + 4;
    const std::uint16_t fileMachine = *bytes.U16(fileHeader);
    const std::uint16_t sectionCount = *bytes.U16(fileHeader + 2);
    const std::uint16_t optionalSize = *bytes.U16(fileHeader + 16);
    const std::uint16_t characteristics = *bytes.U16(fileHeader + 18);
    if (fileMachine != machine) return ExportCheck::WrongMachine;
    if ((characteristics & kFileDll) == 0) return ExportCheck::NotDll;

    const std::uint64_t optional = fileHeader + kFileHeaderSize;
    const auto magic = bytes.U16(optional);
    if (!magic || optionalSize < 2 || !bytes.Has(optional, optionalSize)) return ExportCheck::Malformed;
    const bool wide = machine == kMachineAmd64;
    if (*magic != (wide ? kMagicPe32Plus : kMagicPe32)) {
        return *magic == kMagicPe32 || *magic == kMagicPe32Plus ? ExportCheck::WrongMachine : ExportCheck::Malformed;
    }
    // NumberOfRvaAndSizes, then the data directories; the export directory is the first.
    const std::uint64_t rvaCountField = optional + (wide ? 108 : 92);
    const std::uint64_t directories = optional + (wide ? 112 : 96);
    if (directories > optional + optionalSize) return ExportCheck::Malformed;
    const std::uint32_t directoryCount = *bytes.U32(rvaCountField);
    if (directoryCount < 1 || directories + 8 > optional + optionalSize) return ExportCheck::NoExportDirectory;
    const std::uint32_t exportRva = *bytes.U32(directories);
    const std::uint32_t exportSize = *bytes.U32(directories + 4);
    if (exportRva == 0 || exportSize == 0) return ExportCheck::NoExportDirectory;

    Sections sections;
    sections.table = optional + optionalSize;
    sections.count = sectionCount;
    sections.sizeOfHeaders = *bytes.U32(optional + 60);  // SizeOfHeaders: same place in both widths
    if (!bytes.Has(sections.table, std::uint64_t{sectionCount} * kSectionHeaderSize)) return ExportCheck::Malformed;
    // A file cut short (the loader refuses it too): some section's data lies beyond its end.
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t header = sections.table + std::uint64_t{i} * kSectionHeaderSize;
        const std::uint32_t rawSize = *bytes.U32(header + 16);
        if (rawSize != 0 && !bytes.Has(*bytes.U32(header + 20), rawSize)) return ExportCheck::Malformed;
    }

    const auto directory = RvaToOffset(bytes, sections, exportRva, kExportDirectorySize);
    if (!directory) return ExportCheck::Malformed;
    const std::uint32_t functionCount = *bytes.U32(*directory + 20);
    const std::uint32_t nameCount = *bytes.U32(*directory + 24);
    const std::uint32_t functionsRva = *bytes.U32(*directory + 28);
    const std::uint32_t namesRva = *bytes.U32(*directory + 32);
    const std::uint32_t ordinalsRva = *bytes.U32(*directory + 36);
    if (nameCount == 0) return ExportCheck::NameAbsent;
    // Both tables must lie wholly in the file; this also bounds the loop below by the file's size.
    const auto names = RvaToOffset(bytes, sections, namesRva, std::uint64_t{nameCount} * 4);
    const auto ordinals = RvaToOffset(bytes, sections, ordinalsRva, std::uint64_t{nameCount} * 2);
    if (!names || !ordinals) return ExportCheck::Malformed;

    for (std::uint64_t i = 0; i < nameCount; ++i) {
        const std::uint32_t nameRva = *bytes.U32(*names + i * 4);
        const auto nameOffset = RvaToOffset(bytes, sections, nameRva, name.size() + 1);
        if (!nameOffset || !bytes.NameAt(*nameOffset, name)) continue;
        // The name must lead to a function that exists.
        const std::uint16_t index = *bytes.U16(*ordinals + i * 2);
        if (index >= functionCount) return ExportCheck::Malformed;
        const auto function = RvaToOffset(bytes, sections, std::uint64_t{functionsRva} + std::uint64_t{index} * 4, 4);
        if (!function) return ExportCheck::Malformed;
        return *bytes.U32(*function) != 0 ? ExportCheck::Exported : ExportCheck::NameAbsent;
    }
    return ExportCheck::NameAbsent;
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
