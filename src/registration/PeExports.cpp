// PeExports: the export check on a PE file's raw bytes; every read is bounds-checked in 64-bit arithmetic.
#include "registration/PeExports.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <new>
#include <optional>
#include <queue>
#include <utility>
#include <vector>

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
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    std::uint64_t Size() const { return size_; }
    unsigned char At(std::uint64_t offset) const { return data_[offset]; }  // the caller has checked Has
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

private:
    const unsigned char* data_;
    std::size_t size_;
};

struct Section {
    std::uint64_t address = 0;  // RVA of its first byte
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint64_t End() const { return address + rawSize; }
};

// For any RVA, the first section in table order whose file data covers it (sections of a crafted file may
// overlap). Built once per file, so that a lookup is a binary search rather than a scan of up to 65,535
// section headers. Construction may throw std::bad_alloc.
class SectionIndex {
public:
    explicit SectionIndex(std::vector<Section> sections) : sections_(std::move(sections)) {
        std::vector<std::uint32_t> byStart;
        std::vector<std::uint64_t> bounds;
        byStart.reserve(sections_.size());
        bounds.reserve(2 * sections_.size());
        for (std::uint32_t i = 0; i < sections_.size(); ++i) {
            if (sections_[i].rawSize == 0) continue;  // covers nothing
            byStart.push_back(i);
            bounds.push_back(sections_[i].address);
            bounds.push_back(sections_[i].End());
        }
        std::sort(byStart.begin(), byStart.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return sections_[a].address < sections_[b].address; });
        std::sort(bounds.begin(), bounds.end());
        bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());

        // Sweep the boundaries, holding the sections begun so far with the lowest table index on top; one
        // that has ended is dropped when it reaches the top, as only the top one answers.
        std::vector<std::uint32_t> heapStorage;
        heapStorage.reserve(byStart.size());
        std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<>> open(std::greater<>{},
                                                                                          std::move(heapStorage));
        segments_.reserve(bounds.size());
        std::size_t next = 0;
        for (const std::uint64_t at : bounds) {
            while (next < byStart.size() && sections_[byStart[next]].address <= at) open.push(byStart[next++]);
            while (!open.empty() && sections_[open.top()].End() <= at) open.pop();
            const std::uint32_t covering = open.empty() ? kNone : open.top();
            if (segments_.empty() ? covering != kNone : segments_.back().section != covering) {
                segments_.push_back({at, covering});
            }
        }
    }

    const Section* Find(std::uint64_t rva) const {
        const auto after = std::upper_bound(segments_.begin(), segments_.end(), rva,
                                            [](std::uint64_t value, const Segment& s) { return value < s.start; });
        if (after == segments_.begin()) return nullptr;
        const std::uint32_t section = std::prev(after)->section;
        return section == kNone ? nullptr : &sections_[section];
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    struct Segment {
        std::uint64_t start;    // runs up to the next segment's start
        std::uint32_t section;  // or kNone
    };
    std::vector<Section> sections_;
    std::vector<Segment> segments_;
};

// The file's RVA space: the headers at RVA 0, then the sections' data.
class Image {
public:
    Image(const Bytes& bytes, std::uint64_t headersEnd, SectionIndex sections)
        : bytes_(bytes), headersEnd_(headersEnd), sections_(std::move(sections)) {}

    // The file offset of `count` bytes at an RVA, if they lie wholly in the headers or in the data of the
    // section that holds the RVA.
    std::optional<std::uint64_t> Offset(std::uint64_t rva, std::uint64_t count) const {
        if (rva + count <= headersEnd_) return rva;
        const Section* section = sections_.Find(rva);
        if (section == nullptr) return std::nullopt;
        const std::uint64_t inSection = rva - section->address;
        if (count > section->rawSize - inSection) return std::nullopt;  // runs past the section's data
        const std::uint64_t offset = std::uint64_t{section->rawPointer} + inSection;
        if (!bytes_.Has(offset, count)) return std::nullopt;
        return offset;
    }

    // Orders the NUL-terminated string at an RVA against `name` as strcmp does (negative, zero, positive);
    // nothing if a byte the comparison needs lies outside the headers or the section holding the RVA. The
    // bytes are those Offset gives for the name and its NUL when it can, so a match needs all of them in one
    // region; a shorter string near the end of its region can still be ordered.
    std::optional<int> Compare(std::uint64_t rva, std::string_view name) const {
        if (const auto whole = Offset(rva, std::uint64_t{name.size()} + 1)) {
            return CompareAt(*whole, std::uint64_t{name.size()} + 1, name);
        }
        if (rva < headersEnd_) {
            if (const auto order = CompareAt(rva, headersEnd_ - rva, name)) return order;
        }
        const Section* section = sections_.Find(rva);
        if (section == nullptr) return std::nullopt;
        const std::uint64_t inSection = rva - section->address;
        return CompareAt(std::uint64_t{section->rawPointer} + inSection, section->rawSize - inSection, name);
    }

private:
    // Reads at most name.size() + 1 bytes, whatever `length` is.
    std::optional<int> CompareAt(std::uint64_t offset, std::uint64_t length, std::string_view name) const {
        if (!bytes_.Has(offset, length)) return std::nullopt;
        for (std::uint64_t i = 0; i < length; ++i) {
            const unsigned char have = bytes_.At(offset + i);
            const unsigned char want = i < name.size() ? static_cast<unsigned char>(name[i]) : 0;
            if (have != want) return have < want ? -1 : 1;
            if (have == 0) return 0;
        }
        return std::nullopt;
    }

    const Bytes& bytes_;
    std::uint64_t headersEnd_;
    SectionIndex sections_;
};

// From the section table on: finds `name` among the exports. May throw std::bad_alloc.
ExportCheck FindExport(const Bytes& bytes, std::uint64_t table, std::uint16_t sectionCount,
                       std::uint32_t sizeOfHeaders, std::uint32_t exportRva, std::string_view name) {
    if (!bytes.Has(table, std::uint64_t{sectionCount} * kSectionHeaderSize)) return ExportCheck::Malformed;
    std::vector<Section> sections;
    sections.reserve(sectionCount);
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t header = table + std::uint64_t{i} * kSectionHeaderSize;
        Section section;
        section.address = *bytes.U32(header + 12);
        section.rawSize = *bytes.U32(header + 16);
        section.rawPointer = *bytes.U32(header + 20);
        // A file cut short (the loader refuses it too): some section's data lies beyond its end.
        if (section.rawSize != 0 && !bytes.Has(section.rawPointer, section.rawSize)) return ExportCheck::Malformed;
        sections.push_back(section);
    }
    const Image image(bytes, std::min<std::uint64_t>(sizeOfHeaders, bytes.Size()), SectionIndex(std::move(sections)));

    const auto directory = image.Offset(exportRva, kExportDirectorySize);
    if (!directory) return ExportCheck::Malformed;
    const std::uint32_t functionCount = *bytes.U32(*directory + 20);
    const std::uint32_t nameCount = *bytes.U32(*directory + 24);
    const std::uint32_t functionsRva = *bytes.U32(*directory + 28);
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
        const auto order = image.Compare(*bytes.U32(*names + static_cast<std::uint64_t>(middle) * 4), name);
        if (!order) return ExportCheck::Malformed;
        if (*order < 0) {
            low = middle + 1;
        } else if (*order > 0) {
            high = middle - 1;
        } else {
            // The name must lead to a function that exists.
            const std::uint16_t index = *bytes.U16(*ordinals + static_cast<std::uint64_t>(middle) * 2);
            if (index >= functionCount) return ExportCheck::Malformed;
            const auto function = image.Offset(std::uint64_t{functionsRva} + std::uint64_t{index} * 4, 4);
            if (!function) return ExportCheck::Malformed;
            return *bytes.U32(*function) != 0 ? ExportCheck::Exported : ExportCheck::NameAbsent;
        }
    }
    return ExportCheck::NameAbsent;
}

}  // namespace

HeaderCheck CheckExport(const unsigned char* data, std::size_t size, std::string_view name) noexcept {
    HeaderCheck result;
    const Bytes bytes(data, data == nullptr ? 0 : size);
    if (!bytes.Has(0, kDosSize) || data[0] != 'M' || data[1] != 'Z') return result;
    const std::uint64_t pe = *bytes.U32(kDosLfanew);
    if (!bytes.Has(pe, 4 + kFileHeaderSize) || data[pe] != 'P' || data[pe + 1] != 'E' || data[pe + 2] != 0 ||
        data[pe + 3] != 0) {
        return result;
    }
    const std::uint64_t fileHeader = pe + 4;
    result.machine = *bytes.U16(fileHeader);
    const std::uint16_t sectionCount = *bytes.U16(fileHeader + 2);
    const std::uint16_t optionalSize = *bytes.U16(fileHeader + 16);
    const std::uint16_t characteristics = *bytes.U16(fileHeader + 18);
    const auto answer = [&result](ExportCheck check) {
        result.check = check;
        return result;
    };
    if (result.machine != kMachineI386 && result.machine != kMachineAmd64) return answer(ExportCheck::WrongMachine);
    if ((characteristics & kFileDll) == 0) return answer(ExportCheck::NotDll);

    const std::uint64_t optional = fileHeader + kFileHeaderSize;
    const auto magic = bytes.U16(optional);
    if (!magic || optionalSize < 2 || !bytes.Has(optional, optionalSize)) return answer(ExportCheck::Malformed);
    const bool wide = result.machine == kMachineAmd64;
    if (*magic != (wide ? kMagicPe32Plus : kMagicPe32)) {
        return answer(*magic == kMagicPe32 || *magic == kMagicPe32Plus ? ExportCheck::WrongMachine
                                                                      : ExportCheck::Malformed);
    }
    // NumberOfRvaAndSizes, then the data directories; the export directory is the first.
    const std::uint64_t rvaCountField = optional + (wide ? 108 : 92);
    const std::uint64_t directories = optional + (wide ? 112 : 96);
    if (directories > optional + optionalSize) return answer(ExportCheck::Malformed);
    const std::uint32_t directoryCount = *bytes.U32(rvaCountField);
    if (directoryCount < 1 || directories + 8 > optional + optionalSize) return answer(ExportCheck::NoExportDirectory);
    const std::uint32_t exportRva = *bytes.U32(directories);
    const std::uint32_t exportSize = *bytes.U32(directories + 4);
    if (exportRva == 0 || exportSize == 0) return answer(ExportCheck::NoExportDirectory);

    const std::uint32_t sizeOfHeaders = *bytes.U32(optional + 60);  // same place in both widths
    try {
        return answer(FindExport(bytes, optional + optionalSize, sectionCount, sizeOfHeaders, exportRva, name));
    } catch (const std::bad_alloc&) {
        // At most a few megabytes for 65,535 sections; if even that is refused, the file cannot be vouched for.
        return answer(ExportCheck::Malformed);
    }
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
