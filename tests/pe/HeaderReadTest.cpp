// The header check read from a file a page at a time gives the answer of the check over the whole
// bytes in memory, cut off anywhere, and reads no more of a large file than the pages it looks at.
#include <gtest/gtest.h>

#include <vector>

#include "PeImageBuilder.h"
#include "TestSupport.h"
#include "pe/FileBytes.h"
#include "pe/PeExports.h"

namespace {

// Bytes as a file gives them, with a count of what was read.
class CountingSource final : public pefile::ByteSource {
public:
    explicit CountingSource(pefile::ByteSource& inner) : inner_(inner) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    bool Read(std::uint64_t offset, unsigned char* into, std::size_t count) override {
        read += count;
        return inner_.Read(offset, into, count);
    }
    std::uint64_t read = 0;

private:
    pefile::ByteSource& inner_;
};


peexports::HeaderCheck Paged(pefile::ByteSource& source, std::size_t pageSize = pefile::PageCache::kPageSize) {
    pefile::PageCache pages(pageSize);
    pages.Reset(source);
    const auto check = peexports::CheckExport(pages, "DllRegisterServer");
    EXPECT_FALSE(pages.Failed());
    return check;
}

// Every length of both widths' images, so every header and table boundary among them, with pages
// small enough that the tables straddle them.
TEST(HeaderRead, CutAnywhereGivesTheAnswerOfTheWholeBytes) {
    for (const bool wide : {false, true}) {
        peimage::Options options;
        options.wide = wide;
        options.machine = wide ? peexports::kMachineAmd64 : peexports::kMachineI386;
        const std::vector<unsigned char> image = peimage::Build(options);
        ASSERT_GT(image.size(), std::size_t{peimage::Layout::kHeadersSize});
        for (std::size_t length = 0; length <= image.size(); ++length) {
            const std::vector<unsigned char> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
            const auto whole = peexports::CheckExport(cut.data(), cut.size(), "DllRegisterServer");
            pefile::MemoryBytes source(cut.data(), cut.size());
            ASSERT_EQ(Paged(source, 64), whole) << "wide " << wide << ", length " << length;
        }
    }
}

// An export directory 8 MB into a file: found, from a real file, reading a few pages only.
TEST(HeaderRead, FarExportDirectoryIsReadWithoutTheRestOfTheFile) {
    const std::vector<unsigned char> image = peimage::Build(peimage::Options{});
    constexpr std::uint32_t kFar = 8u << 20;
    std::vector<unsigned char> distant(image.begin(), image.begin() + peimage::Layout::kHeadersSize);
    distant.resize(kFar, 0);
    distant.insert(distant.end(), image.begin() + peimage::Layout::kHeadersSize, image.end());
    peimage::Put32(distant, peimage::Layout::SectionTable(false) + 20, kFar);  // PointerToRawData
    const auto whole = peexports::CheckExport(distant.data(), distant.size(), "DllRegisterServer");
    ASSERT_EQ(whole.check, peexports::ExportCheck::Exported);

    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::WriteBytes(dir / "far.dll",
                                        std::string_view(reinterpret_cast<const char*>(distant.data()), distant.size())));
    registration::FileBytes file(dir / "far.dll");
    ASSERT_EQ(file.Error(), static_cast<DWORD>(ERROR_SUCCESS));
    CountingSource counting(file);
    EXPECT_EQ(Paged(counting), whole);
    EXPECT_LE(counting.read, 3 * pefile::PageCache::kPageSize);

    // A text file is decided from its first page.
    ASSERT_TRUE(testsupport::WriteBytes(dir / "big.txt", std::string(1 << 20, 'x')));
    registration::FileBytes text(dir / "big.txt");
    CountingSource countingText(text);
    EXPECT_EQ(Paged(countingText).check, peexports::ExportCheck::NotPe);
    EXPECT_EQ(countingText.read, pefile::PageCache::kPageSize);
}

}  // namespace
