// The seed programs' shared part: the corpus folder named on the command line, and one seed written into it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

class SeedCorpus {
public:
    // Takes the folder from the command line (creating it); false, with the usage printed, without one.
    bool Open(int argc, char** argv) {
        if (argc != 2) {
            std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
            return false;
        }
        dir_ = argv[1];
        std::filesystem::create_directories(dir_);
        return true;
    }
    bool Write(const char* name, const std::vector<unsigned char>& bytes) const {
        std::ofstream out(dir_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
    }

private:
    std::filesystem::path dir_;
};
