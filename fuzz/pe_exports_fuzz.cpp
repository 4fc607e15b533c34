// Fuzzes the export check with arbitrary bytes; the sanitizers catch any stray read. The check over
// bytes read a page at a time (as from a file) must give the answer of the check over the whole bytes
// in memory, whatever the page size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pe/PeExports.h"
#include "pe/PeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes so that AddressSanitizer flags any read past the end.
    const std::vector<unsigned char> bytes(data, data + size);
    const unsigned char* start = bytes.empty() ? nullptr : bytes.data();
    const auto first = peexports::CheckExport(start, bytes.size(), "DllRegisterServer");
    // The answer depends on the bytes alone.
    if (peexports::CheckExport(start, bytes.size(), "DllRegisterServer") != first) std::abort();
    // Only a PE file has a machine; only ours can have an optional header of the wrong width.
    using peexports::ExportCheck;
    if (first.check == ExportCheck::NotPe && first.machine != 0) std::abort();
    if (first.check == ExportCheck::WrongMachine && first.machine != peexports::kMachineI386 &&
        first.machine != peexports::kMachineAmd64) {
        std::abort();
    }
    // Page sizes from one byte (every byte its own read) to the program's own.
    for (const std::size_t pageSize : {std::size_t{1}, std::size_t{61}, pefile::PageCache::kPageSize}) {
        pefile::MemoryBytes source(start, bytes.size());
        pefile::PageCache pages(pageSize);
        pages.Reset(source);
        if (peexports::CheckExport(pages, "DllRegisterServer") != first || pages.Failed()) std::abort();
    }
    peexports::CheckExport(start, bytes.size(), "");
    (void)peexports::Describe(first.check);
    return 0;
}
