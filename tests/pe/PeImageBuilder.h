// Builds small PE images in memory for the export and import readers' tests and the fuzzers' seeds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace peimage {

// One imported library: its name and functions, "#N" for an import by ordinal N.
struct Import {
    std::string library;
    std::vector<std::string> functions;
};

struct Options {
    std::uint16_t machine = 0x014C;   // i386
    bool wide = false;                // PE32+ optional header (as AMD64 images have)
    std::uint16_t characteristics = 0x2102;  // executable, 32-bit machine, DLL
    bool exportDirectory = true;
    std::vector<std::string> names{"DllRegisterServer", "DllUnregisterServer"};
    std::vector<Import> imports;      // an import directory after the export data, when not empty
    bool lookupTables = true;         // false: only address tables, as old linkers wrote them
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

// The DOS header's pointer, the PE signature, the file header and the optional header up to its count of
// data directories (all 16); the caller adds sections and the export directory's entry.
inline void PutHeaders(std::vector<unsigned char>& image, const Options& options, std::uint16_t sections,
                       std::uint32_t headersSize, std::uint32_t imageSize) {
    const bool wide = options.wide;
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, Layout::kPe);
    std::memcpy(&image[Layout::kPe], "PE\0\0", 4);
    Put16(image, Layout::kFileHeader, options.machine);
    Put16(image, Layout::kFileHeader + 2, sections);
    Put16(image, Layout::kFileHeader + 16, Layout::OptionalSize(wide));
    Put16(image, Layout::kFileHeader + 18, options.characteristics);
    Put16(image, Layout::kOptional, wide ? 0x20B : 0x10B);
    Put32(image, Layout::kOptional + 32, Layout::kSectionAlignment);
    Put32(image, Layout::kOptional + 36, 0x200);  // file alignment
    Put32(image, Layout::kOptional + 56, imageSize);
    Put32(image, Layout::kOptional + 60, headersSize);
    Put32(image, Layout::kOptional + (wide ? 108 : 92), 16);
}

// The size of the export data Build writes at the start of its section.
inline std::uint32_t ExportDataSize(const Options& options) {
    std::uint32_t size = 40 + 10 * static_cast<std::uint32_t>(options.names.size());
    for (const auto& name : options.names) size += static_cast<std::uint32_t>(name.size()) + 1;
    return size;
}

// Where Build puts the import descriptors, from the start of its section (its file offset less
// Layout::kHeadersSize, its RVA less Layout::kExportRva).
inline std::uint32_t ImportStart(const Options& options) { return (ExportDataSize(options) + 7) & ~7u; }

// The import data Build writes at ImportStart: the descriptors and their terminator, then per library
// its lookup table and address table, then the hint/name entries, then the library names.
inline std::vector<unsigned char> ImportData(const Options& options, std::uint32_t rva) {
    const std::uint32_t thunk = options.wide ? 8 : 4;
    const std::uint32_t libraries = static_cast<std::uint32_t>(options.imports.size());
    std::uint32_t tables = 20 * (libraries + 1);
    std::uint32_t hints = tables;
    for (const auto& import : options.imports) {
        hints += 2 * thunk * (static_cast<std::uint32_t>(import.functions.size()) + 1);
    }
    std::uint32_t names = hints;
    for (const auto& import : options.imports) {
        for (const auto& function : import.functions) {
            if (function[0] != '#') names += (2 + static_cast<std::uint32_t>(function.size()) + 1 + 1) & ~1u;
        }
    }
    std::uint32_t end = names;
    for (const auto& import : options.imports) end += static_cast<std::uint32_t>(import.library.size()) + 1;

    std::vector<unsigned char> data(end, 0);
    auto putThunk = [&](std::uint32_t at, std::uint64_t value) {
        Put32(data, at, static_cast<std::uint32_t>(value));
        if (thunk == 8) Put32(data, at + 4, static_cast<std::uint32_t>(value >> 32));
    };
    for (std::uint32_t i = 0; i < libraries; ++i) {
        const Import& import = options.imports[i];
        const std::uint32_t count = static_cast<std::uint32_t>(import.functions.size());
        const std::uint32_t lookup = tables, address = tables + thunk * (count + 1);
        tables = address + thunk * (count + 1);
        Put32(data, 20 * i, options.lookupTables ? rva + lookup : 0);
        Put32(data, 20 * i + 12, rva + names);
        Put32(data, 20 * i + 16, rva + address);
        std::memcpy(&data[names], import.library.c_str(), import.library.size() + 1);
        names += static_cast<std::uint32_t>(import.library.size()) + 1;
        for (std::uint32_t j = 0; j < count; ++j) {
            const std::string& function = import.functions[j];
            std::uint64_t value = 0;
            if (function[0] == '#') {
                value = (thunk == 8 ? 0x8000000000000000ull : 0x80000000ull) | std::stoul(function.substr(1));
            } else {
                value = rva + hints;
                Put16(data, hints, j);  // the hint: a guess at the name's index in the exports
                std::memcpy(&data[hints + 2], function.c_str(), function.size() + 1);
                hints += (2 + static_cast<std::uint32_t>(function.size()) + 1 + 1) & ~1u;
            }
            putThunk(lookup + thunk * j, value);
            putThunk(address + thunk * j, value);  // unbound: the address table starts as a copy
        }
    }
    return data;
}

// A DLL with one section holding the export directory: the functions, names and ordinals tables, then
// the name strings, all in the order given (list them sorted, as linkers write them: the loader finds a
// name by binary search).
inline std::vector<unsigned char> Build(const Options& options) {
    const bool wide = options.wide;
    const std::uint32_t count = static_cast<std::uint32_t>(options.names.size());
    const std::uint32_t functions = 40, names = functions + 4 * count, ordinals = names + 4 * count;
    std::uint32_t strings = ordinals + 2 * count;
    const std::uint32_t exportSize = ExportDataSize(options);
    const std::vector<unsigned char> imports = options.imports.empty()
                                                   ? std::vector<unsigned char>()
                                                   : ImportData(options, Layout::kExportRva + ImportStart(options));
    const std::uint32_t dataSize =
        imports.empty() ? exportSize : ImportStart(options) + static_cast<std::uint32_t>(imports.size());
    const std::uint32_t rawSize = (dataSize + 0x1FF) & ~0x1FFu;

    std::vector<unsigned char> image(Layout::kHeadersSize + rawSize, 0);
    PutHeaders(image, options, 1, Layout::kHeadersSize, Layout::kExportRva + Layout::kSectionAlignment);
    if (options.exportDirectory) {
        Put32(image, Layout::Directories(wide), Layout::kExportRva);
        Put32(image, Layout::Directories(wide) + 4, exportSize);
    }
    if (!imports.empty()) {
        Put32(image, Layout::Directories(wide) + 8, Layout::kExportRva + ImportStart(options));
        Put32(image, Layout::Directories(wide) + 12, 20 * (static_cast<std::uint32_t>(options.imports.size()) + 1));
        std::copy(imports.begin(), imports.end(), image.begin() + Layout::kHeadersSize + ImportStart(options));
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

// An i386 DLL shaped to make a careless reader slow: many sections and many names, the section table and
// the export tables in the headers. With `sectionSize` 0, every section covers the same 0x200 bytes of the
// file at an address of its own and every name points past them all; otherwise each section has
// `sectionSize` (at least 18) bytes of its own, and name i (names <= sections) is a string in section i:
// "Dll00000", "Dll00001", ..., the last one "DllRegisterServer".
struct Crowd {
    std::uint16_t sections = 0xFFFF;
    std::uint32_t names = 50000;
    std::uint32_t sectionSize = 0;
};

inline std::vector<unsigned char> BuildCrowd(const Crowd& crowd) {
    const bool shared = crowd.sectionSize == 0;
    const std::uint32_t count = std::min<std::uint32_t>(crowd.names, shared ? 0xFFFF : crowd.sections);
    const std::uint32_t directory = Layout::SectionTable(false) + 40 * std::uint32_t{crowd.sections};
    const std::uint32_t functions = directory + 40, names = functions + 4 * count, ordinals = names + 4 * count;
    const std::uint32_t headersSize = (ordinals + 2 * count + 0x1FF) & ~0x1FFu;
    const std::uint32_t sectionSize = shared ? 0x200 : std::max<std::uint32_t>(crowd.sectionSize, 18);
    const std::uint32_t firstAddress = (headersSize + 0xFFF) & ~0xFFFu;
    const std::uint32_t stride = (sectionSize + 0xFFF) & ~0xFFFu;
    const std::uint32_t end = firstAddress + stride * std::uint32_t{crowd.sections};

    std::vector<unsigned char> image(headersSize + std::size_t{shared ? 1u : crowd.sections} * sectionSize, 0);
    PutHeaders(image, Options{}, crowd.sections, headersSize, end);
    Put32(image, Layout::Directories(false), directory);  // in the headers, which are mapped at RVA 0
    Put32(image, Layout::Directories(false) + 4, ordinals + 2 * count - directory);
    for (std::uint32_t i = 0; i < crowd.sections; ++i) {
        const std::uint32_t section = Layout::SectionTable(false) + 40 * i;
        Put32(image, section + 8, sectionSize);
        Put32(image, section + 12, firstAddress + stride * i);
        Put32(image, section + 16, sectionSize);
        Put32(image, section + 20, headersSize + (shared ? 0 : sectionSize * i));
        Put32(image, section + 36, 0x40000040);
    }
    Put32(image, directory + 16, 1);
    Put32(image, directory + 20, count);
    Put32(image, directory + 24, count);
    Put32(image, directory + 28, functions);
    Put32(image, directory + 32, names);
    Put32(image, directory + 36, ordinals);
    for (std::uint32_t i = 0; i < count; ++i) {
        Put32(image, functions + 4 * i, 0x1000);
        Put16(image, ordinals + 2 * i, i);
        Put32(image, names + 4 * i, shared ? end : firstAddress + stride * i);
        if (shared) continue;
        char name[24];
        std::snprintf(name, sizeof name, "Dll%05u", static_cast<unsigned>(i));
        const std::string text = i + 1 == count ? "DllRegisterServer" : name;
        std::memcpy(&image[headersSize + sectionSize * i], text.c_str(), text.size() + 1);
    }
    return image;
}

// An i386 DLL of `size` bytes (at least 64 KB) shaped to make a careless import reader slow or greedy:
// one section, filled in its first half with import descriptors that never end, each naming "crowd.dll"
// and sharing one table of `thunks` functions (0: the table runs on to the end of the section's data),
// each the same name of `nameLength` letters 'A'.
struct ImportCrowd {
    std::uint32_t size = 64u << 20;
    std::uint32_t thunks = 0;
    std::uint32_t nameLength = 255;
};

inline std::vector<unsigned char> BuildImportCrowd(const ImportCrowd& crowd) {
    const std::uint32_t rawSize = (crowd.size - Layout::kHeadersSize) & ~0x1FFu;
    const std::uint32_t rva = Layout::kExportRva;
    const std::uint32_t tail = (2 + crowd.nameLength + 1 + 16 + 7) & ~7u;  // the hint/name, then "crowd.dll"
    const std::uint32_t tailStart = rawSize - tail;
    const std::uint32_t descriptors = tailStart / 2 / 20;
    const std::uint32_t table = (descriptors * 20 + 7) & ~7u;
    const std::uint32_t tableEnd = crowd.thunks == 0 ? tailStart : std::min(tailStart, table + 4 * crowd.thunks);

    std::vector<unsigned char> image(Layout::kHeadersSize + rawSize, 0);
    Options options;
    options.exportDirectory = false;
    PutHeaders(image, options, 1, Layout::kHeadersSize, rva + ((rawSize + 0xFFF) & ~0xFFFu));
    Put32(image, Layout::Directories(false) + 8, rva);
    Put32(image, Layout::Directories(false) + 12, 20 * descriptors);
    const std::uint32_t section = Layout::SectionTable(false);
    std::memcpy(&image[section], ".idata", 6);
    Put32(image, section + 8, rawSize);
    Put32(image, section + 12, rva);
    Put32(image, section + 16, rawSize);
    Put32(image, section + 20, Layout::kHeadersSize);
    Put32(image, section + 36, 0x40000040);

    unsigned char* data = &image[Layout::kHeadersSize];
    std::memset(data + tailStart + 2, 'A', crowd.nameLength);
    std::memcpy(data + tailStart + 2 + crowd.nameLength + 1, "crowd.dll", 10);
    const std::uint32_t libraryName = rva + tailStart + 2 + crowd.nameLength + 1;
    for (std::uint32_t i = 0; i < descriptors; ++i) {
        Put32(image, Layout::kHeadersSize + 20 * i, rva + table);
        Put32(image, Layout::kHeadersSize + 20 * i + 12, libraryName);
        Put32(image, Layout::kHeadersSize + 20 * i + 16, rva + table);
    }
    for (std::uint32_t at = table; at + 4 <= tableEnd; at += 4) {
        Put32(image, Layout::kHeadersSize + at, rva + tailStart);
    }
    return image;
}

}  // namespace peimage
