// Writes the import fuzzer's seed corpus: built images of both widths with import directories, with and
// without lookup tables, a few damaged ones, and a crowd of endless descriptors (within the 1 MB input limit).
#include <string>
#include <vector>

#include "PeImageBuilder.h"
#include "SeedCorpus.h"

int main(int argc, char** argv) {
    SeedCorpus corpus;
    if (!corpus.Open(argc, argv)) return 2;
    auto write = [&corpus](const char* name, const std::vector<unsigned char>& bytes) { return corpus.Write(name, bytes); };
    const std::vector<peimage::Import> imports{
        {"KERNEL32.dll", {"GetTickCount", "LoadLibraryA", "#12"}},
        {"msvcrt.dll", {"malloc", "free"}},
        {"lackingHelper.dll", {"DllRegisterServer", "#2", "#1"}},  // names and ordinals the image itself exports
    };
    peimage::Options dll32;
    dll32.imports = imports;
    peimage::Options dll64 = peimage::Amd64();
    dll64.imports = imports;
    peimage::Options old32 = dll32;
    old32.lookupTables = false;
    peimage::Options old64 = dll64;
    old64.lookupTables = false;
    peimage::Options program = dll32;
    program.characteristics = 0x0102;
    auto damaged = peimage::Build(dll32);  // the second library's name out of the file
    peimage::Put32(damaged, peimage::Layout::kHeadersSize + peimage::ImportStart(dll32) + 20 + 12, 0x7FFFFFFF);
    const bool ok = write("imports32", peimage::Build(dll32)) && write("imports64", peimage::Build(dll64)) &&
                    write("addressOnly32", peimage::Build(old32)) && write("addressOnly64", peimage::Build(old64)) &&
                    write("program32", peimage::Build(program)) && write("damaged32", damaged) &&
                    write("crowd", peimage::BuildImportCrowd({512u << 10, 0, 255})) &&
                    write("crowdShort", peimage::BuildImportCrowd({256u << 10, 1, 40}));
    return ok ? 0 : 1;
}
