// Fuzzes the import reader, and the export lookups with the names it finds; the sanitizers catch any stray read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pe/PeExports.h"
#include "pe/PeImports.h"

namespace {

bool Same(const peimports::ImportList& a, const peimports::ImportList& b) {
    if (a.status != b.status || a.machine != b.machine || a.libraries.size() != b.libraries.size()) return false;
    for (std::size_t i = 0; i < a.libraries.size(); ++i) {
        const auto& x = a.libraries[i];
        const auto& y = b.libraries[i];
        if (x.name != y.name || x.functions.size() != y.functions.size()) return false;
        for (std::size_t j = 0; j < x.functions.size(); ++j) {
            if (x.functions[j].name != y.functions[j].name || x.functions[j].byOrdinal != y.functions[j].byOrdinal ||
                x.functions[j].ordinal != y.functions[j].ordinal) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes so that AddressSanitizer flags any read past the end.
    const std::vector<unsigned char> bytes(data, data + size);
    const unsigned char* start = bytes.empty() ? nullptr : bytes.data();
    using peimports::ImportRead;
    const peimports::ImportList list = peimports::ReadImports(start, bytes.size());
    // The answer depends on the bytes alone.
    if (!Same(list, peimports::ReadImports(start, bytes.size()))) std::abort();
    // Only a list that was read holds anything, and only a PE file has a machine.
    if (list.status != ImportRead::Read && list.status != ImportRead::Capped && !list.libraries.empty()) std::abort();
    if (list.status == ImportRead::NotPe && list.machine != 0) std::abort();
    // Any processor's imports are read; only ours can have an optional header of the wrong width.
    if (list.status == ImportRead::WrongMachine && list.machine != peexports::kMachineI386 &&
        list.machine != peexports::kMachineAmd64) {
        std::abort();
    }
    // The limits the header promises hold whatever the file claims.
    if (list.libraries.size() > peimports::kMaxLibraries) std::abort();
    std::size_t functions = 0;
    for (const auto& library : list.libraries) {
        if (library.name.size() > peimports::kMaxNameBytes) std::abort();
        functions += library.functions.size();
        for (const auto& function : library.functions) {
            if (function.byOrdinal ? function.name != "#" + std::to_string(function.ordinal)
                                   : function.name.size() > peimports::kMaxNameBytes) {
                std::abort();
            }
        }
    }
    if (functions > peimports::kMaxFunctions) std::abort();
    // The lookups the diagnosis makes, on the same bytes and names.
    int lookups = 0;
    for (const auto& library : list.libraries) {
        for (const auto& function : library.functions) {
            if (++lookups > 16) break;
            (void)(function.byOrdinal ? peexports::LookUpOrdinal(start, bytes.size(), function.ordinal)
                                      : peexports::LookUpName(start, bytes.size(), function.name));
        }
    }
    (void)peimports::Describe(list.status);
    return 0;
}
