// Builds small PE images in memory for the export-check tests and the fuzzer's seeds.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace peimage {

struct Options {
    std::uint16_t machine = 0x014C;   // i386
    bool wide = false;                // PE32+ optional header (as AMD64 images have)
    std::uint16_t characteristics = 0x2102;  // executable, 32-bit machine, DLL
    bool exportDirectory = true;
    std::vector<std::string> names{"DllRegisterServer", "DllUnregisterServer"};
};

// Offsets in the built image, for tests that damage one field.
struct Layout {
    static constexpr std::uint32_t kPe = 0x40;
    static constexpr std::uint32_t kFileHeader = kPe + 4;
    static constexpr std::uint32_t kOptional = kFileHeader + 20;
    static constexpr std::uint32_t kSectionAlignment = 0x1000;
    static constexpr std::uint32_t kHeadersSize = 0x200;
    static constexpr std::uint32_t kExportRva = 0x1000;  // the one section, at file offset kHeadersSize
    static std::uint32_t OptionalSize(bool wide) { return wide ? 240 : 224; }
    static std::uint32_t Directories(bool wide) { return kOptional + (wide ? 112 : 96); }
    static std::uint32_t SectionTable(bool wide) { return kOptional + OptionalSize(wide); }
    static std::uint32_t ExportDirectory() { return kHeadersSize; }
};

inline void Put16(std::vector<unsigned char>& image, std::size_t offset, std::uint32_t value) {
    image[offset] = static_cast<unsigned char>(value);
    image[offset + 1] = static_cast<unsigned char>(value >> 8);
}
inline void Put32(std::vector<unsigned char>& image, std::size_t offset, std::uint32_t value) {
    Put16(image, offset, value & 0xFFFF);
    Put16(image, offset + 2, value >> 16);
}

// A DLL with one section holding the export directory: the functions, names and ordinals tables, then
// the name strings, all in the order given.
inline std::vector<unsigned char> Build(const Options& options) {
    const bool wide = options.wide;
    const std::uint32_t count = static_cast<std::uint32_t>(options.names.size());
    const std::uint32_t functions = 40, names = functions + 4 * count, ordinals = names + 4 * count;
    std::uint32_t strings = ordinals + 2 * count;
    std::uint32_t dataSize = strings;
    for (const auto& name : options.names) dataSize += static_cast<std::uint32_t>(name.size()) + 1;
    const std::uint32_t rawSize = (dataSize + 0x1FF) & ~0x1FFu;

    std::vector<unsigned char> image(Layout::kHeadersSize + rawSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, Layout::kPe);
    std::memcpy(&image[Layout::kPe], "PE\0\0", 4);
    Put16(image, Layout::kFileHeader, options.machine);
    Put16(image, Layout::kFileHeader + 2, 1);  // one section
    Put16(image, Layout::kFileHeader + 16, Layout::OptionalSize(wide));
    Put16(image, Layout::kFileHeader + 18, options.characteristics);
    Put16(image, Layout::kOptional, wide ? 0x20B : 0x10B);
    Put32(image, Layout::kOptional + 32, Layout::kSectionAlignment);
    Put32(image, Layout::kOptional + 36, 0x200);  // file alignment
    Put32(image, Layout::kOptional + 56, Layout::kExportRva + Layout::kSectionAlignment);  // size of image
    Put32(image, Layout::kOptional + 60, Layout::kHeadersSize);
    Put32(image, Layout::kOptional + (wide ? 108 : 92), 16);
    if (options.exportDirectory) {
        Put32(image, Layout::Directories(wide), Layout::kExportRva);
        Put32(image, Layout::Directories(wide) + 4, dataSize);
    }
    const std::uint32_t section = Layout::SectionTable(wide);
    std::memcpy(&image[section], ".edata", 6);
    Put32(image, section + 8, dataSize);
    Put32(image, section + 12, Layout::kExportRva);
    Put32(image, section + 16, rawSize);
    Put32(image, section + 20, Layout::kHeadersSize);
    Put32(image, section + 36, 0x40000040);  // initialised data, readable

    const std::uint32_t base = Layout::kHeadersSize, rva = Layout::kExportRva;
    Put32(image, base + 16, 1);  // ordinal base
    Put32(image, base + 20, count);
    Put32(image, base + 24, count);
    Put32(image, base + 28, rva + functions);
    Put32(image, base + 32, rva + names);
    Put32(image, base + 36, rva + ordinals);
    for (std::uint32_t i = 0; i < count; ++i) {
        Put32(image, base + functions + 4 * i, 0x2000 + 0x10 * i);  // somewhere in code
        Put32(image, base + names + 4 * i, rva + strings);
        Put16(image, base + ordinals + 2 * i, i);
        std::memcpy(&image[base + strings], options.names[i].c_str(), options.names[i].size() + 1);
        strings += static_cast<std::uint32_t>(options.names[i].size()) + 1;
    }
    return image;
}

inline Options Amd64() {
    Options options;
    options.machine = 0x8664;
    options.wide = true;
    options.characteristics = 0x2022;  // executable, large-address aware, DLL
    return options;
}

}  // namespace peimage
