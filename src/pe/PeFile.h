// PeFile: the PE file layout the header readers share: bounds-checked reads, the headers, and RVAs
// mapped to file offsets through the section table. Plain portable C++ for PeExports and PeImports.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <queue>
#include <string_view>
#include <utility>
#include <vector>

#include "pe/PageCache.h"

namespace pefile {

// Offsets and constants of the PE/COFF format.
constexpr std::size_t kDosSize = 0x40;
constexpr std::size_t kDosLfanew = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;  // after the 4-byte "PE\0\0"
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint32_t kExportDirectoryIndex = 0;
constexpr std::uint32_t kImportDirectoryIndex = 1;

// The bytes a reader looks at: all in memory, or pages of a file read on demand.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(data == nullptr ? 0 : size) {}
    explicit Bytes(PageCache& pages) : pages_(&pages), size_(pages.Size()) {}
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    std::uint64_t Size() const { return size_; }
    unsigned char At(std::uint64_t offset) const {  // the caller has checked Has
        return data_ != nullptr ? data_[offset] : pages_->At(offset);
    }
    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        if (!Has(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(At(offset) | (At(offset + 1) << 8));
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        if (!Has(offset, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(At(offset)) | (static_cast<std::uint32_t>(At(offset + 1)) << 8) |
               (static_cast<std::uint32_t>(At(offset + 2)) << 16) | (static_cast<std::uint32_t>(At(offset + 3)) << 24);
    }
    std::optional<std::uint64_t> U64(std::uint64_t offset) const {
        const auto low = U32(offset);
        const auto high = U32(offset + 4);
        if (!low || !high) return std::nullopt;
        return std::uint64_t{*low} | (std::uint64_t{*high} << 32);
    }

private:
    const unsigned char* data_ = nullptr;
    PageCache* pages_ = nullptr;
    std::uint64_t size_;
};

// What the file header and the optional header say, once both were found sound.
struct Headers {
    std::uint16_t machine = 0;
    std::uint16_t sectionCount = 0;
    std::uint16_t characteristics = 0;
    bool wide = false;                 // PE32+
    std::uint64_t optional = 0;        // file offset of the optional header
    std::uint64_t optionalEnd = 0;     // and of its end, where the section table starts
    std::uint32_t sizeOfHeaders = 0;
    std::uint64_t directories = 0;     // file offset of the data directories
    std::uint32_t directoryCount = 0;  // NumberOfRvaAndSizes (may claim more than the header holds)
};

enum class HeaderStatus { Sound, NotPe, WrongMachine, Malformed };

// The MZ and PE signatures and the file header: NotPe, or Sound with machine, section count and
// characteristics filled (the machine may still be one we do not read).
inline HeaderStatus ReadFileHeader(const Bytes& bytes, Headers& headers) {
    if (!bytes.Has(0, kDosSize) || bytes.At(0) != 'M' || bytes.At(1) != 'Z') return HeaderStatus::NotPe;
    const std::uint64_t pe = *bytes.U32(kDosLfanew);
    if (!bytes.Has(pe, 4 + kFileHeaderSize) || bytes.At(pe) != 'P' || bytes.At(pe + 1) != 'E' ||
        bytes.At(pe + 2) != 0 || bytes.At(pe + 3) != 0) {
        return HeaderStatus::NotPe;
    }
    const std::uint64_t fileHeader = pe + 4;
    headers.machine = *bytes.U16(fileHeader);
    headers.sectionCount = *bytes.U16(fileHeader + 2);
    headers.characteristics = *bytes.U16(fileHeader + 18);
    headers.optional = fileHeader + kFileHeaderSize;
    headers.optionalEnd = headers.optional + *bytes.U16(fileHeader + 16);
    return HeaderStatus::Sound;
}

// After ReadFileHeader: the optional header of the width the machine needs (i386 PE32, AMD64 PE32+);
// for other processors (ARM64, ...), of the width its magic says, so that what it exports can be told.
inline HeaderStatus ReadOptionalHeader(const Bytes& bytes, Headers& headers) {
    const std::uint64_t optionalSize = headers.optionalEnd - headers.optional;
    const auto magic = bytes.U16(headers.optional);
    if (!magic || optionalSize < 2 || !bytes.Has(headers.optional, optionalSize)) return HeaderStatus::Malformed;
    if (headers.machine != kMachineI386 && headers.machine != kMachineAmd64) {
        if (*magic != kMagicPe32 && *magic != kMagicPe32Plus) return HeaderStatus::Malformed;
        headers.wide = *magic == kMagicPe32Plus;
    } else {
        headers.wide = headers.machine == kMachineAmd64;
        if (*magic != (headers.wide ? kMagicPe32Plus : kMagicPe32)) {
            return *magic == kMagicPe32 || *magic == kMagicPe32Plus ? HeaderStatus::WrongMachine
                                                                    : HeaderStatus::Malformed;
        }
    }
    // NumberOfRvaAndSizes, then the data directories.
    headers.directories = headers.optional + (headers.wide ? 112 : 96);
    if (headers.directories > headers.optionalEnd) return HeaderStatus::Malformed;
    headers.directoryCount = *bytes.U32(headers.optional + (headers.wide ? 108 : 92));
    headers.sizeOfHeaders = *bytes.U32(headers.optional + 60);  // same place in both widths
    return HeaderStatus::Sound;
}

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// A data directory the optional header both counts and holds, unless its address or size is zero.
inline std::optional<DataDirectory> Directory(const Bytes& bytes, const Headers& headers, std::uint32_t index) {
    const std::uint64_t entry = headers.directories + std::uint64_t{index} * 8;
    if (headers.directoryCount <= index || entry + 8 > headers.optionalEnd) return std::nullopt;
    const DataDirectory directory{*bytes.U32(entry), *bytes.U32(entry + 4)};
    if (directory.rva == 0 || directory.size == 0) return std::nullopt;
    return directory;
}

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

    const Bytes& File() const { return bytes_; }

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

    // The file offset of the first byte at an RVA and how many bytes from there on lie in the same
    // region (the headers, or the section that holds the RVA); nothing if the RVA is in neither.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> Region(std::uint64_t rva) const {
        if (rva < headersEnd_) return std::make_pair(rva, headersEnd_ - rva);
        const Section* section = sections_.Find(rva);
        if (section == nullptr) return std::nullopt;
        const std::uint64_t inSection = rva - section->address;
        const std::uint64_t offset = std::uint64_t{section->rawPointer} + inSection;
        const std::uint64_t length = section->rawSize - inSection;
        if (!bytes_.Has(offset, length)) return std::nullopt;
        return std::make_pair(offset, length);
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

// The image of a file whose headers are sound; nothing when the section table runs off the file or a
// section's data lies beyond its end (a file cut short, which the loader refuses too). May throw
// std::bad_alloc (a few megabytes at most, for 65,535 sections).
inline std::optional<Image> MapImage(const Bytes& bytes, const Headers& headers) {
    const std::uint64_t table = headers.optionalEnd;
    if (!bytes.Has(table, std::uint64_t{headers.sectionCount} * kSectionHeaderSize)) return std::nullopt;
    std::vector<Section> sections;
    sections.reserve(headers.sectionCount);
    for (std::uint32_t i = 0; i < headers.sectionCount; ++i) {
        const std::uint64_t header = table + std::uint64_t{i} * kSectionHeaderSize;
        Section section;
        section.address = *bytes.U32(header + 12);
        section.rawSize = *bytes.U32(header + 16);
        section.rawPointer = *bytes.U32(header + 20);
        if (section.rawSize != 0 && !bytes.Has(section.rawPointer, section.rawSize)) return std::nullopt;
        sections.push_back(section);
    }
    return std::optional<Image>(std::in_place, bytes, std::min<std::uint64_t>(headers.sizeOfHeaders, bytes.Size()),
                                SectionIndex(std::move(sections)));
}

}  // namespace pefile
