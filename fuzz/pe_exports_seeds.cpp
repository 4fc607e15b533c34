// Writes the fuzzer's seed corpus: built DLL images of both widths, a few near misses, and crowds of
// sections and names (within the fuzzer's 1 MB input limit).
#include <string>
#include <vector>

#include "PeImageBuilder.h"
#include "SeedCorpus.h"

int main(int argc, char** argv) {
    SeedCorpus corpus;
    if (!corpus.Open(argc, argv)) return 2;
    auto write = [&corpus](const char* name, const std::vector<unsigned char>& bytes) { return corpus.Write(name, bytes); };
    peimage::Options program;
    program.characteristics = 0x0102;
    peimage::Options many;
    many.names = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
    peimage::Options near;
    near.names = {"DllRegisterServerEx"};
    peimage::Options bare;
    bare.exportDirectory = false;
    const std::string text = "not a library\r\n";
    const bool ok = write("dll32", peimage::Build({})) && write("dll64", peimage::Build(peimage::Amd64())) &&
                    write("program32", peimage::Build(program)) && write("many32", peimage::Build(many)) &&
                    write("near32", peimage::Build(near)) && write("bare32", peimage::Build(bare)) &&
                    write("text", std::vector<unsigned char>(text.begin(), text.end())) &&
                    write("crowd32", peimage::BuildCrowd({16000, 30000, 0})) &&
                    write("crowd32named", peimage::BuildCrowd({4000, 4000, 32}));
    return ok ? 0 : 1;
}
