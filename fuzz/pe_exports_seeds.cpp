// Writes the fuzzer's seed corpus: built DLL images of both widths, a few near misses, and crowds of
// sections and names (within the fuzzer's 1 MB input limit).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PeImageBuilder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    auto write = [&](const char* name, const std::vector<unsigned char>& bytes) {
        std::ofstream out(dir / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
    };
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
