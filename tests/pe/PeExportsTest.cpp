// The export check on crafted PE images: every verdict, and no reads outside the bytes whatever they say.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "PeImageBuilder.h"
#include "pe/PeExports.h"

using peexports::CheckExport;
using peexports::ExportCheck;
using peexports::HeaderCheck;
using peexports::kMachineAmd64;
using peexports::kMachineArm64;
using peexports::kMachineI386;
using peimage::Layout;
using peimage::Put16;
using peimage::Put32;

namespace {

constexpr char kName[] = "DllRegisterServer";

HeaderCheck Check(const std::vector<unsigned char>& image) {
    // A copy of exactly the image's size, so that AddressSanitizer-style tools see over-reads.
    std::vector<unsigned char> exact(image);
    return CheckExport(exact.data(), exact.size(), kName);
}

ExportCheck Verdict(const std::vector<unsigned char>& image) { return Check(image).check; }

TEST(PeExports, ReadsTheMachineFromTheFile) {
    auto arm = peimage::Amd64();
    arm.machine = kMachineArm64;
    peimage::Options i386Wide;  // an i386 machine field on a PE32+ header
    i386Wide.wide = true;
    auto amd64Narrow = peimage::Build(peimage::Amd64());
    Put16(amd64Narrow, Layout::kOptional, 0x10B);
    const std::string text = "This is a text file, long enough to have room for a DOS header and then some.";
    const struct {
        const char* what;
        std::vector<unsigned char> image;
        ExportCheck check;
        std::uint16_t machine;
    } cases[] = {
        {"i386", peimage::Build({}), ExportCheck::Exported, kMachineI386},
        {"AMD64", peimage::Build(peimage::Amd64()), ExportCheck::Exported, kMachineAmd64},
        {"ARM64", peimage::Build(arm), ExportCheck::Exported, kMachineArm64},  // the caller tells the processor
        {"i386 with PE32+", peimage::Build(i386Wide), ExportCheck::WrongMachine, kMachineI386},
        {"AMD64 with PE32", amd64Narrow, ExportCheck::WrongMachine, kMachineAmd64},
        {"text", std::vector<unsigned char>(text.begin(), text.end()), ExportCheck::NotPe, 0},
    };
    for (const auto& c : cases) {
        const HeaderCheck result = Check(c.image);
        EXPECT_EQ(result.check, c.check) << c.what;
        EXPECT_EQ(result.machine, c.machine) << c.what;
    }
}

TEST(PeExports, FindsTheNameWhereverItSortsAmongOthers) {
    // The binary search must reach every position of a sorted table, and not find what is not there.
    for (std::size_t position = 0; position <= 7; ++position) {
        peimage::Options options;
        options.names.clear();
        for (std::size_t i = 0; i < 7; ++i) {
            options.names.push_back((i < position ? "DllA" : "DllZ") + std::to_string(i));
        }
        EXPECT_EQ(Verdict(peimage::Build(options)), ExportCheck::NameAbsent) << position;
        options.names.insert(options.names.begin() + static_cast<std::ptrdiff_t>(position), kName);
        EXPECT_EQ(Verdict(peimage::Build(options)), ExportCheck::Exported) << position;
    }
    // Bytes order as unsigned, as in strcmp: names with bytes past 0x7F sort after ASCII ones.
    peimage::Options accented;
    accented.names = {kName, "\xC3\xA9t\xC3\xA9", "\xFF"};
    EXPECT_EQ(Verdict(peimage::Build(accented)), ExportCheck::Exported);
}

TEST(PeExports, OverlappingSectionsResolveInTableOrder) {
    // A decoy section that starts lower and covers the export directory's address with zeros: whichever
    // comes first in the section table maps the directory, wherever the sections start.
    for (const bool decoyFirst : {false, true}) {
        auto image = peimage::Build({});
        const std::uint32_t table = Layout::SectionTable(false);
        const std::uint32_t decoy = table + (decoyFirst ? 0 : 40);
        std::copy_n(image.begin() + table, 40, image.begin() + table + (decoyFirst ? 40 : 0));
        Put16(image, Layout::kFileHeader + 2, 2);
        Put32(image, decoy + 12, Layout::kExportRva - 0x40);
        Put32(image, decoy + 16, 0x80);
        Put32(image, decoy + 20, static_cast<std::uint32_t>(image.size()) - 0x80);  // past the export data
        EXPECT_EQ(Verdict(image), decoyFirst ? ExportCheck::NameAbsent : ExportCheck::Exported) << decoyFirst;
    }
}

TEST(PeExports, TellsWhyAFileIsNoComponent) {
    peimage::Options program;
    program.characteristics = 0x0102;
    EXPECT_EQ(Verdict(peimage::Build(program)), ExportCheck::NotDll);

    peimage::Options bare;
    bare.exportDirectory = false;
    EXPECT_EQ(Verdict(peimage::Build(bare)), ExportCheck::NoExportDirectory);
    auto noDirectories = peimage::Build({});
    Put32(noDirectories, Layout::kOptional + 92, 0);
    EXPECT_EQ(Verdict(noDirectories), ExportCheck::NoExportDirectory);

    // Near misses of the name do not count.
    peimage::Options near;
    near.names = {"DllRegisterServe", "DllRegisterServerEx", "_DllRegisterServer@0", "dllregisterserver"};
    EXPECT_EQ(Verdict(peimage::Build(near)), ExportCheck::NameAbsent);
    // Out of order, the loader's binary search misses the name, so it is not there for us either.
    peimage::Options unsorted;
    unsorted.names = {"DllUnregisterServer", kName};
    EXPECT_EQ(Verdict(peimage::Build(unsorted)), ExportCheck::NameAbsent);
    peimage::Options none;
    none.names = {};
    EXPECT_EQ(Verdict(peimage::Build(none)), ExportCheck::NameAbsent);

    EXPECT_EQ(Verdict({}), ExportCheck::NotPe);
    auto noSignature = peimage::Build({});
    noSignature[Layout::kPe + 1] = 'X';
    EXPECT_EQ(Verdict(noSignature), ExportCheck::NotPe);
    EXPECT_EQ(CheckExport(nullptr, 100, kName), HeaderCheck{});
}

TEST(PeExports, ANameWithoutAFunctionIsNotAnExport) {
    const auto good = peimage::Build({});
    const std::uint32_t functions = Layout::ExportDirectory() + 40;

    auto empty = good;
    Put32(empty, functions, 0);  // DllRegisterServer is the first name, function 0
    EXPECT_EQ(Verdict(empty), ExportCheck::NameAbsent);

    auto pastTable = good;
    Put16(pastTable, Layout::ExportDirectory() + 40 + 8 * 2, 7);  // its ordinal beyond the two functions
    EXPECT_EQ(Verdict(pastTable), ExportCheck::Malformed);
}

TEST(PeExports, ACutAnywhereIsNeverAnExport) {
    for (const auto& options : {peimage::Options{}, peimage::Amd64()}) {
        const auto image = peimage::Build(options);
        for (std::size_t size = 0; size < image.size(); ++size) {
            const std::vector<unsigned char> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
            const ExportCheck check = Verdict(cut);
            ASSERT_NE(check, ExportCheck::Exported) << size;
            if (size < Layout::kOptional) {
                EXPECT_EQ(check, ExportCheck::NotPe) << size;
            } else {
                EXPECT_EQ(check, ExportCheck::Malformed) << size;
            }
        }
    }
}

TEST(PeExports, AbsurdOffsetsAndCountsAreMalformedNotFollowed) {
    const auto good = peimage::Build({});
    const std::uint32_t directory = Layout::ExportDirectory();
    const std::uint32_t section = Layout::SectionTable(false);
    struct Damage {
        const char* what;
        std::uint32_t offset;
        std::uint32_t value;
        ExportCheck expected;
    };
    const Damage damages[] = {
        {"PE header offset", 0x3C, 0xFFFFFFFF, ExportCheck::NotPe},
        {"PE header offset near the end", 0x3C, static_cast<std::uint32_t>(good.size() - 8), ExportCheck::NotPe},
        {"optional header size", Layout::kFileHeader + 16, 0xFFFF, ExportCheck::Malformed},
        {"optional header too short", Layout::kFileHeader + 16, 64, ExportCheck::Malformed},
        {"section count", Layout::kFileHeader + 2, 0xFFFF, ExportCheck::Malformed},
        {"directory count", Layout::kOptional + 92, 0xFFFFFFFF, ExportCheck::Exported},  // only the first is read
        {"export directory RVA", Layout::Directories(false), 0xFFFFFFF0, ExportCheck::Malformed},
        {"section raw pointer", section + 20, 0xFFFFFFF0, ExportCheck::Malformed},
        {"section raw size", section + 16, 0xFFFFFFFF, ExportCheck::Malformed},
        {"section address", section + 12, 0xFFFFFFFF, ExportCheck::Malformed},
        {"name count", directory + 24, 0xFFFFFFFF, ExportCheck::Malformed},
        {"function count", directory + 20, 0, ExportCheck::Malformed},
        {"names table", directory + 32, 0xFFFFFFFE, ExportCheck::Malformed},
        {"ordinals table", directory + 36, 0x7FFFFFFF, ExportCheck::Malformed},
        {"functions table", directory + 28, 0xFFFFFFFC, ExportCheck::Malformed},
        {"name string", directory + 40 + 8, 0xFFFFFFFF, ExportCheck::Malformed},
    };
    for (const auto& damage : damages) {
        auto image = good;
        Put32(image, damage.offset, damage.value);
        if (damage.offset == Layout::kFileHeader + 16 || damage.offset == Layout::kFileHeader + 2) {
            Put16(image, damage.offset, damage.value);  // 16-bit fields
            Put16(image, damage.offset + 2, damage.offset == Layout::kFileHeader + 2 ? 0 : 0x2102);
        }
        EXPECT_EQ(Verdict(image), damage.expected) << damage.what;
    }
}

TEST(PeExports, ANameRunningOffTheEndIsMalformed) {
    // The last name's terminating zero is the file's last byte; without it the name cannot be read.
    peimage::Options options;
    options.names = {"Alpha", kName};
    auto image = peimage::Build(options);
    const std::size_t nameEnd = Layout::kHeadersSize + 40 + 10 * 2 + 6 + sizeof kName;
    image.resize(nameEnd);
    Put32(image, Layout::SectionTable(false) + 16, static_cast<std::uint32_t>(nameEnd - Layout::kHeadersSize));
    EXPECT_EQ(Verdict(image), ExportCheck::Exported);
    image.pop_back();
    Put32(image, Layout::SectionTable(false) + 16, static_cast<std::uint32_t>(image.size() - Layout::kHeadersSize));
    EXPECT_EQ(Verdict(image), ExportCheck::Malformed);
}

TEST(PeExports, CrowdedFilesAreDecidedQuickly) {
    // 65,535 sections; names pointing past them all (2.9 MB), or each into a section of its own (63 MB).
    const struct {
        peimage::Crowd crowd;
        ExportCheck check;
    } cases[] = {
        {{0xFFFF, 50000, 0}, ExportCheck::Malformed},
        {{0xFFFF, 0xFFFF, 960}, ExportCheck::Exported},
    };
    for (const auto& c : cases) {
        const auto image = peimage::BuildCrowd(c.crowd);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CheckExport(image.data(), image.size(), kName).check, c.check) << image.size();
        // Loose, for slow machines; a reader that rescans the sections per name takes half a minute.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << image.size();
    }
}

TEST(PeExports, LookUpFindsNamesAndOrdinalsAsTheLoaderResolvesImports) {
    peimage::Options program;  // CheckExport refuses programs; an import may still name one
    program.characteristics = 0x0102;
    peimage::Options bare;
    bare.exportDirectory = false;
    const auto dll = peimage::Build({});  // DllRegisterServer is ordinal 1, DllUnregisterServer 2 (base 1)
    auto emptySlot = dll;
    Put32(emptySlot, Layout::ExportDirectory() + 40 + 4, 0);  // ordinal 2 has no function
    auto base5 = dll;
    Put32(base5, Layout::ExportDirectory() + 16, 5);
    const struct {
        const char* what;
        std::vector<unsigned char> image;
        const char* name;  // or nullptr for `ordinal`
        std::uint16_t ordinal;
        ExportCheck check;
    } cases[] = {
        {"name", dll, "DllUnregisterServer", 0, ExportCheck::Exported},
        {"name in a program", peimage::Build(program), kName, 0, ExportCheck::Exported},
        {"absent name", dll, "GhostFunction", 0, ExportCheck::NameAbsent},
        {"no exports", peimage::Build(bare), kName, 0, ExportCheck::NoExportDirectory},
        {"first ordinal", dll, nullptr, 1, ExportCheck::Exported},
        {"last ordinal", dll, nullptr, 2, ExportCheck::Exported},
        {"ordinal past the table", dll, nullptr, 3, ExportCheck::NameAbsent},
        {"ordinal below the base", base5, nullptr, 4, ExportCheck::NameAbsent},
        {"ordinal from the base", base5, nullptr, 6, ExportCheck::Exported},
        {"ordinal without a function", emptySlot, nullptr, 2, ExportCheck::NameAbsent},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> exact(c.image);
        const ExportCheck check = c.name != nullptr ? peexports::LookUpName(exact.data(), exact.size(), c.name)
                                                    : peexports::LookUpOrdinal(exact.data(), exact.size(), c.ordinal);
        EXPECT_EQ(check, c.check) << c.what;
    }
}

}  // namespace
