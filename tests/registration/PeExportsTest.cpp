// The export check on crafted PE images: every verdict, and no reads outside the bytes whatever they say.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PeImageBuilder.h"
#include "registration/PeExports.h"

using peexports::CheckExport;
using peexports::ExportCheck;
using peexports::kMachineAmd64;
using peexports::kMachineI386;
using peimage::Layout;
using peimage::Put16;
using peimage::Put32;

namespace {

constexpr char kName[] = "DllRegisterServer";

ExportCheck Check(const std::vector<unsigned char>& image, std::uint16_t machine = kMachineI386) {
    // A copy of exactly the image's size, so that AddressSanitizer-style tools see over-reads.
    std::vector<unsigned char> exact(image);
    return CheckExport(exact.data(), exact.size(), machine, kName);
}

TEST(PeExports, FindsTheNameInDllsOfEitherWidth) {
    EXPECT_EQ(Check(peimage::Build({})), ExportCheck::Exported);
    EXPECT_EQ(Check(peimage::Build(peimage::Amd64()), kMachineAmd64), ExportCheck::Exported);

    peimage::Options many;
    many.names = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer"};
    EXPECT_EQ(Check(peimage::Build(many)), ExportCheck::Exported);
}

TEST(PeExports, TellsWhyAFileIsNoComponent) {
    // Another machine, or the other header width for this machine.
    EXPECT_EQ(Check(peimage::Build({}), kMachineAmd64), ExportCheck::WrongMachine);
    EXPECT_EQ(Check(peimage::Build(peimage::Amd64()), kMachineI386), ExportCheck::WrongMachine);
    auto arm = peimage::Amd64();
    arm.machine = 0xAA64;
    EXPECT_EQ(Check(peimage::Build(arm), kMachineAmd64), ExportCheck::WrongMachine);
    auto narrow = peimage::Build(peimage::Amd64());
    Put16(narrow, Layout::kOptional, 0x10B);
    EXPECT_EQ(Check(narrow, kMachineAmd64), ExportCheck::WrongMachine);

    peimage::Options program;
    program.characteristics = 0x0102;
    EXPECT_EQ(Check(peimage::Build(program)), ExportCheck::NotDll);

    peimage::Options bare;
    bare.exportDirectory = false;
    EXPECT_EQ(Check(peimage::Build(bare)), ExportCheck::NoExportDirectory);
    auto noDirectories = peimage::Build({});
    Put32(noDirectories, Layout::kOptional + 92, 0);
    EXPECT_EQ(Check(noDirectories), ExportCheck::NoExportDirectory);

    // Near misses of the name do not count.
    peimage::Options near;
    near.names = {"DllRegisterServerEx", "DllRegisterServe", "dllregisterserver", "_DllRegisterServer@0"};
    EXPECT_EQ(Check(peimage::Build(near)), ExportCheck::NameAbsent);
    peimage::Options none;
    none.names = {};
    EXPECT_EQ(Check(peimage::Build(none)), ExportCheck::NameAbsent);

    EXPECT_EQ(Check({}), ExportCheck::NotPe);
    const std::string text = "This is a text file, long enough to have room for a DOS header and then some.";
    EXPECT_EQ(Check(std::vector<unsigned char>(text.begin(), text.end())), ExportCheck::NotPe);
    auto noSignature = peimage::Build({});
    noSignature[Layout::kPe + 1] = 'X';
    EXPECT_EQ(Check(noSignature), ExportCheck::NotPe);
    EXPECT_EQ(CheckExport(nullptr, 100, kMachineI386, kName), ExportCheck::NotPe);
}

TEST(PeExports, ANameWithoutAFunctionIsNotAnExport) {
    const auto good = peimage::Build({});
    const std::uint32_t functions = Layout::ExportDirectory() + 40;

    auto empty = good;
    Put32(empty, functions, 0);  // DllRegisterServer is the first name, function 0
    EXPECT_EQ(Check(empty), ExportCheck::NameAbsent);

    auto pastTable = good;
    Put16(pastTable, Layout::ExportDirectory() + 40 + 8 * 2, 7);  // its ordinal beyond the two functions
    EXPECT_EQ(Check(pastTable), ExportCheck::Malformed);
}

TEST(PeExports, ACutAnywhereIsNeverAnExport) {
    for (const auto& options : {peimage::Options{}, peimage::Amd64()}) {
        const auto image = peimage::Build(options);
        const std::uint16_t machine = options.machine;
        for (std::size_t size = 0; size < image.size(); ++size) {
            const std::vector<unsigned char> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
            const ExportCheck check = Check(cut, machine);
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
        {"name string", directory + 40 + 8, 0xFFFFFFFF, ExportCheck::NameAbsent},
    };
    for (const auto& damage : damages) {
        auto image = good;
        Put32(image, damage.offset, damage.value);
        if (damage.offset == Layout::kFileHeader + 16 || damage.offset == Layout::kFileHeader + 2) {
            Put16(image, damage.offset, damage.value);  // 16-bit fields
            Put16(image, damage.offset + 2, damage.offset == Layout::kFileHeader + 2 ? 0 : 0x2102);
        }
        EXPECT_EQ(Check(image), damage.expected) << damage.what;
    }
}

TEST(PeExports, ANameRunningOffTheEndDoesNotMatch) {
    // The last name's terminating zero is the file's last byte; without it the name is not there.
    peimage::Options options;
    options.names = {"Other", kName};
    auto image = peimage::Build(options);
    const std::size_t nameEnd = Layout::kHeadersSize + 40 + 10 * 2 + 6 + sizeof kName;
    image.resize(nameEnd);
    Put32(image, Layout::SectionTable(false) + 16, static_cast<std::uint32_t>(nameEnd - Layout::kHeadersSize));
    EXPECT_EQ(Check(image), ExportCheck::Exported);
    image.pop_back();
    Put32(image, Layout::SectionTable(false) + 16, static_cast<std::uint32_t>(image.size() - Layout::kHeadersSize));
    EXPECT_EQ(Check(image), ExportCheck::NameAbsent);
}

}  // namespace
