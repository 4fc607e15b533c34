// Fuzzes the export check with arbitrary bytes for both machines; the sanitizers catch any stray read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "registration/PeExports.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes so that AddressSanitizer flags any read past the end.
    const std::vector<unsigned char> bytes(data, data + size);
    const unsigned char* start = bytes.empty() ? nullptr : bytes.data();
    for (const std::uint16_t machine : {peexports::kMachineI386, peexports::kMachineAmd64}) {
        const auto first = peexports::CheckExport(start, bytes.size(), machine, "DllRegisterServer");
        // The answer depends on the bytes alone.
        if (peexports::CheckExport(start, bytes.size(), machine, "DllRegisterServer") != first) std::abort();
        peexports::CheckExport(start, bytes.size(), machine, "");
        (void)peexports::Describe(first);
    }
    return 0;
}
