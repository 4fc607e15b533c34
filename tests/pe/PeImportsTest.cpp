// The import reader on built PE images: the lists it gives, damaged tables, and its limits.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "PeImageBuilder.h"
#include "pe/PeImports.h"

using peimage::Layout;
using peimage::Put16;
using peimage::Put32;
using peimports::ImportRead;
using peimports::ReadImports;

namespace {

// The list as "library: function function; library: ..." for comparisons that show what differs.
std::string Spell(const peimports::ImportList& list) {
    std::string text;
    for (const auto& library : list.libraries) {
        text += library.name + ":";
        for (const auto& function : library.functions) {
            text += " " + function.name;
            const bool spelledAsOrdinal = function.name.size() > 1 && function.name[0] == '#' &&
                                          function.name.substr(1) == std::to_string(function.ordinal);
            if (function.byOrdinal != spelledAsOrdinal) text += "(ordinal mismatch)";
        }
        text += "; ";
    }
    return text;
}

peimports::ImportList Read(const std::vector<unsigned char>& image) {
    // A copy of exactly the image's size, so that AddressSanitizer-style tools see over-reads.
    std::vector<unsigned char> exact(image);
    return ReadImports(exact.data(), exact.size());
}

peimage::Options WithImports(peimage::Options options) {
    options.imports = {{"KERNEL32.dll", {"GetTickCount", "#12", "LoadLibraryA"}}, {"msvcr71.dll", {"malloc"}}};
    return options;
}

constexpr char kSpelled[] = "KERNEL32.dll: GetTickCount #12 LoadLibraryA; msvcr71.dll: malloc; ";

TEST(PeImports, ListsLibrariesAndFunctionsInTableOrder) {
    auto noLookup = WithImports({});
    noLookup.lookupTables = false;
    auto amd64NoLookup = WithImports(peimage::Amd64());
    amd64NoLookup.lookupTables = false;
    peimage::Options program = WithImports({});
    program.characteristics = 0x0102;
    const struct {
        const char* what;
        peimage::Options options;
        std::uint16_t machine;
    } cases[] = {
        {"i386", WithImports({}), 0x014C},
        {"AMD64", WithImports(peimage::Amd64()), 0x8664},
        {"i386, address tables only", noLookup, 0x014C},
        {"AMD64, address tables only", amd64NoLookup, 0x8664},
        {"a program", program, 0x014C},
    };
    for (const auto& c : cases) {
        const auto list = Read(peimage::Build(c.options));
        EXPECT_EQ(list.status, ImportRead::Read) << c.what;
        EXPECT_EQ(list.machine, c.machine) << c.what;
        EXPECT_EQ(Spell(list), kSpelled) << c.what;
    }
    // Ordinals use the low 16 bits only, in both widths.
    auto high = WithImports(peimage::Amd64());
    high.imports = {{"a.dll", {"#65535"}}};
    EXPECT_EQ(Spell(Read(peimage::Build(high))), "a.dll: #65535; ");
}

TEST(PeImports, WhatIsNotAnImportListSaysWhy) {
    auto wrongWidth = WithImports(peimage::Amd64());
    wrongWidth.machine = 0x014C;  // i386 on a PE32+ header
    auto noDirectoryEntry = peimage::Build(WithImports({}));
    Put32(noDirectoryEntry, Layout::kOptional + 92, 1);  // counts only the export directory
    const std::string text = "This is a text file, long enough to have room for a DOS header and then some.";
    const struct {
        const char* what;
        std::vector<unsigned char> image;
        ImportRead status;
    } cases[] = {
        {"no imports", peimage::Build({}), ImportRead::Read},
        {"import directory not counted", noDirectoryEntry, ImportRead::Read},
        {"i386 with PE32+", peimage::Build(wrongWidth), ImportRead::WrongMachine},
        {"text", std::vector<unsigned char>(text.begin(), text.end()), ImportRead::NotPe},
        {"nothing", {}, ImportRead::NotPe},
    };
    for (const auto& c : cases) {
        const auto list = Read(c.image);
        EXPECT_EQ(list.status, c.status) << c.what;
        EXPECT_TRUE(list.libraries.empty()) << c.what;
    }
    EXPECT_EQ(ReadImports(nullptr, 100).status, ImportRead::NotPe);
}

TEST(PeImports, DamagedTablesAreMalformedNotFollowed) {
    const auto options = WithImports({});
    const auto good = peimage::Build(options);
    const std::uint32_t descriptors = Layout::kHeadersSize + peimage::ImportStart(options);
    const std::uint32_t tables = descriptors + 3 * 20;  // the first library's lookup table
    struct Damage {
        const char* what;
        std::uint32_t offset;
        std::uint32_t value;
        ImportRead status;
        const char* spelled;  // what is still listed
    };
    const Damage damages[] = {
        {"import directory RVA", Layout::Directories(false) + 8, 0xFFFFFFF0, ImportRead::Malformed, ""},
        {"library name RVA", descriptors + 12, 0x7FFFFFFF, ImportRead::Malformed, ""},
        {"lookup table RVA", descriptors, 0xFFFFFFFC, ImportRead::Malformed, ""},
        {"hint/name RVA", tables, 0x7FFFFFF0, ImportRead::Malformed, ""},
        {"address table RVA without lookup table", descriptors, 0, ImportRead::Read, kSpelled},
        {"section raw size", Layout::SectionTable(false) + 16, 0xFFFFFFFF, ImportRead::Malformed, ""},
        // A descriptor without an address table or a name ends the list, as in the loader.
        {"second address table", descriptors + 20 + 16, 0, ImportRead::Read,
         "KERNEL32.dll: GetTickCount #12 LoadLibraryA; "},
        {"second name", descriptors + 20 + 12, 0, ImportRead::Read, "KERNEL32.dll: GetTickCount #12 LoadLibraryA; "},
    };
    for (const auto& damage : damages) {
        auto image = good;
        Put32(image, damage.offset, damage.value);
        const auto list = Read(image);
        EXPECT_EQ(list.status, damage.status) << damage.what;
        EXPECT_EQ(Spell(list), damage.spelled) << damage.what;
    }

    // A name whose terminating zero would lie past the section's data.
    auto unterminated = good;
    const std::uint32_t end = static_cast<std::uint32_t>(unterminated.size());
    for (std::uint32_t at = end - 8; at < end; ++at) unterminated[at] = 'x';
    Put32(unterminated, descriptors + 20 + 12, Layout::kExportRva + (end - 8 - Layout::kHeadersSize));
    EXPECT_EQ(Read(unterminated).status, ImportRead::Malformed);
}

TEST(PeImports, ACutAnywhereNeverReadsPastTheEnd) {
    for (const auto& options : {WithImports({}), WithImports(peimage::Amd64())}) {
        const auto image = peimage::Build(options);
        for (std::size_t size = 0; size < image.size(); ++size) {
            const std::vector<unsigned char> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
            const auto list = Read(cut);
            ASSERT_NE(list.status, ImportRead::Read) << size;
            EXPECT_TRUE(list.libraries.empty()) << size;
        }
    }
}

TEST(PeImports, LongNamesAreLeftOutAndSaidSo) {
    const std::string longest(peimports::kMaxNameBytes, 'f');
    const std::string tooLong(peimports::kMaxNameBytes + 1, 'g');
    peimage::Options options;
    options.imports = {{tooLong + ".dll", {"Lost"}}, {"kept.dll", {longest, tooLong, "Last"}}};
    const auto list = Read(peimage::Build(options));
    EXPECT_EQ(list.status, ImportRead::Capped);
    EXPECT_EQ(Spell(list), "kept.dll: " + longest + " Last; ");
}

TEST(PeImports, CraftedFilesOf64MegabytesAreDecidedQuicklyWithinTheLimits) {
    const struct {
        const char* what;
        peimage::ImportCrowd crowd;
        std::size_t libraries;
        std::size_t functions;  // in the first library
    } cases[] = {
        {"endless functions", {64u << 20, 0, 255}, 1, peimports::kMaxFunctions},
        {"endless libraries", {64u << 20, 1, 255}, peimports::kMaxLibraries, 1},
        {"endless overlong names", {64u << 20, 0, 300}, 1, 0},
    };
    for (const auto& c : cases) {
        const auto image = peimage::BuildImportCrowd(c.crowd);
        const auto start = std::chrono::steady_clock::now();
        const auto list = ReadImports(image.data(), image.size());
        // Loose, for slow machines; a reader that follows what the file claims takes minutes or runs out of memory.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << c.what;
        EXPECT_EQ(list.status, ImportRead::Capped) << c.what;
        ASSERT_EQ(list.libraries.size(), c.libraries) << c.what;
        EXPECT_EQ(list.libraries[0].name, "crowd.dll") << c.what;
        EXPECT_EQ(list.libraries[0].functions.size(), c.functions) << c.what;
    }
}

}  // namespace
