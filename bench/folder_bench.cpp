// Folder-run benchmark: a directory register run against the system's regsvr32 once per file, and the
// export probe against loading every file, over one generated tree. Prints figures, asserts nothing.
//   folder_bench [--files N] [--components N] [--keep]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "results/ResultList.h"
#include "folders/Module1.h"
#include "registration/modRegister.h"

namespace {

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct CountingList : velquist::ResultList {
    int lines = 0, failed = 0;
    void Clear() override { lines = failed = 0; }
    int Count() const override { return lines; }
    void Add(const std::string&, const velquist::ResultLine& line) override {
        const std::string& text = line.text;
        ++lines;
        if (text.rfind("Failed : ", 0) == 0) ++failed;
    }
};

bool Copy(const std::string& from, const std::string& to) { return ::CopyFileA(from.c_str(), to.c_str(), FALSE); }

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(child.c_str());
            }
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(path.c_str());
}

struct Tree {
    std::string root;
    std::vector<std::string> all;            // every file, in creation order
    std::vector<std::string> nonComponents;  // libraries without the entry point, and other files
    std::vector<std::string> libraryFiles, otherFiles;
    std::vector<std::string> librarySources;
    int components = 0, libraries = 0, others = 0;
};

// root\dNN\sNN\ folders, files dealt round-robin over the leaves: component copies, libraries without
// the entry point (a test library and system libraries), and plain data files.
bool BuildTree(const std::string& root, int files, int components, Tree& tree) {
    tree.root = root;
    const std::string componentDir = VELQUIST_COMPONENT_DIR;
    const std::string component = componentDir + "\\comserver.dll";
    std::vector<std::string> libraries{componentDir + "\\noEntry.dll"};
    char system[MAX_PATH];
    ::GetSystemDirectoryA(system, MAX_PATH);
    for (const char* name : {"version.dll", "lz32.dll", "psapi.dll", "imagehlp.dll", "winmm.dll", "msimg32.dll"}) {
        const std::string path = std::string(system) + "\\" + name;
        // Only libraries the probe rejects: the tree's components are the test component's copies.
        if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES && !modRegister::IsDLLActiveX(path)) {
            libraries.push_back(path);
        }
    }
    tree.librarySources = libraries;
    if (!modRegister::IsDLLActiveX(component)) {
        std::fprintf(stderr, "the test component %s does not pass the probe\n", component.c_str());
        return false;
    }
    ::CreateDirectoryA(root.c_str(), nullptr);
    std::vector<std::string> leaves;
    for (int d = 0; d < 10; ++d) {
        const std::string top = root + "\\d" + std::to_string(d);
        ::CreateDirectoryA(top.c_str(), nullptr);
        leaves.push_back(top);
        for (int s = 0; s < 9; ++s) {
            const std::string leaf = top + "\\s" + std::to_string(s);
            ::CreateDirectoryA(leaf.c_str(), nullptr);
            leaves.push_back(leaf);
        }
    }
    const int libraryCount = (files - components) / 2;
    const std::string text(3000, 'x');
    for (int i = 0; i < files; ++i) {
        const std::string& folder = leaves[static_cast<size_t>(i) % leaves.size()];
        std::string path;
        bool ok = false;
        if (i < components) {
            path = folder + "\\component" + std::to_string(i) + ".ocx";
            ok = Copy(component, path);
            ++tree.components;
        } else if (i < components + libraryCount) {
            path = folder + "\\library" + std::to_string(i) + ".dll";
            ok = Copy(libraries[static_cast<size_t>(i) % libraries.size()], path);
            ++tree.libraries;
        } else {
            path = folder + "\\data" + std::to_string(i) + (i % 2 ? ".txt" : ".dat");
            HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            ok = file != INVALID_HANDLE_VALUE &&
                 ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
            ++tree.others;
        }
        if (!ok) {
            std::fprintf(stderr, "could not create %s\n", path.c_str());
            return false;
        }
        tree.all.push_back(path);
        if (i >= components) tree.nonComponents.push_back(path);
        if (i >= components && i < components + libraryCount) tree.libraryFiles.push_back(path);
        if (i >= components + libraryCount) tree.otherFiles.push_back(path);
    }
    return true;
}

// regsvr32 /s file, as a batch file would run it, waiting for each.
int RunRegsvr32(const std::string& file) {
    char system[MAX_PATH];
    ::GetSystemDirectoryA(system, MAX_PATH);
    std::string command(1, '"');
    command.append(system).append("\\regsvr32.exe\" /s \"").append(file).append(1, '"');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return -1;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    int files = 2000, components = 100;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--files") && i + 1 < argc) {
            files = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--components") && i + 1 < argc) {
            components = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--keep")) {
            keep = true;
        } else {
            std::fprintf(stderr, "usage: folder_bench [--files N] [--components N] [--keep]\n");
            return 2;
        }
    }
    if (components < 1 || files <= components) {
        std::fprintf(stderr, "need 0 < components < files\n");
        return 2;
    }

    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    Tree tree;
    if (!BuildTree(std::string(temp) + "velquist-bench-" + std::to_string(::GetCurrentProcessId()), files,
                   components, tree)) {
        RemoveTree(tree.root);
        return 1;
    }
    std::string sources;
    for (const std::string& library : tree.librarySources) sources.append(1, ' ').append(library, library.rfind('\\') + 1);
    std::printf("tree %s: %d files (%d components, %d libraries without the entry point, %d other files), "
                "100 folders\n",
                tree.root.c_str(), files, tree.components, tree.libraries, tree.others);
    std::printf("libraries copied from:%s\n", sources.c_str());

    // (1) The whole tree: one directory register run against regsvr32 once per file.
    CountingList lines;
    double start = Seconds();
    Module1::RegisterFolder(tree.root, true, true, lines);
    const double walkSeconds = Seconds() - start;
    int walkLines = lines.lines, walkFailed = lines.failed;

    start = Seconds();
    int regsvrOk = 0;
    for (const std::string& file : tree.all) regsvrOk += RunRegsvr32(file) == 0;
    const double regsvrSeconds = Seconds() - start;

    // (2) The files that are no components: the probe against loading each file as a library, over the
    // libraries without the entry point, the other files, and both.
    struct ProbeFigures {
        double probeSeconds = 0, loadSeconds = 0;
        int passed = 0, loaded = 0;
    };
    auto measure = [](const std::vector<std::string>& group) {
        ProbeFigures f;
        double t = Seconds();
        for (const std::string& file : group) f.passed += modRegister::IsDLLActiveX(file);
        f.probeSeconds = Seconds() - t;
        t = Seconds();
        for (const std::string& file : group) {
            if (HMODULE module = ::LoadLibraryA(file.c_str())) {
                ++f.loaded;
                ::FreeLibrary(module);
            }
        }
        f.loadSeconds = Seconds() - t;
        return f;
    };
    const ProbeFigures libraryFigures = measure(tree.libraryFiles);
    const ProbeFigures otherFigures = measure(tree.otherFiles);
    const double probeSeconds = libraryFigures.probeSeconds + otherFigures.probeSeconds;
    const double loadSeconds = libraryFigures.loadSeconds + otherFigures.loadSeconds;
    const int probed = libraryFigures.passed + otherFigures.passed;
    const int loaded = libraryFigures.loaded + otherFigures.loaded;

    // Leave the registry as it was: the component copies unregister themselves.
    lines.Clear();
    Module1::RegisterFolder(tree.root, true, false, lines);
    if (!keep) RemoveTree(tree.root);

    const double n = static_cast<double>(files);
    std::printf("\n%-44s %10s %10s %12s\n", "measure", "seconds", "files/s", "");
    std::printf("%-44s %10.2f %10.0f %12s\n", "directory run (RegisterFolder, register)", walkSeconds,
                n / walkSeconds, "");
    std::printf("%-44s %10.2f %10.0f %12s\n", "regsvr32 /s once per file", regsvrSeconds, n / regsvrSeconds, "");
    std::printf("%-44s %10s %10s %11.1fx\n", "  ratio regsvr32 / directory run", "", "",
                regsvrSeconds / walkSeconds);
    auto row = [](const char* what, double seconds, size_t count) {
        std::printf("%-44s %10.3f %10.0f %12s\n", what, seconds, static_cast<double>(count) / seconds, "");
    };
    auto ratio = [](const char* what, double value) { std::printf("%-44s %10s %10s %11.1fx\n", what, "", "", value); };
    row("probe IsDLLActiveX, libraries", libraryFigures.probeSeconds, tree.libraryFiles.size());
    row("LoadLibraryA+FreeLibrary, libraries", libraryFigures.loadSeconds, tree.libraryFiles.size());
    ratio("  ratio load / probe, libraries", libraryFigures.loadSeconds / libraryFigures.probeSeconds);
    row("probe IsDLLActiveX, other files", otherFigures.probeSeconds, tree.otherFiles.size());
    row("LoadLibraryA+FreeLibrary, other files", otherFigures.loadSeconds, tree.otherFiles.size());
    ratio("  ratio load / probe, other files", otherFigures.loadSeconds / otherFigures.probeSeconds);
    row("probe IsDLLActiveX, all non-components", probeSeconds, tree.nonComponents.size());
    row("LoadLibraryA+FreeLibrary, all non-components", loadSeconds, tree.nonComponents.size());
    ratio("  ratio load / probe, all non-components", loadSeconds / probeSeconds);
    std::printf("\nchecks: directory run wrote %d lines (%d failed), regsvr32 succeeded for %d files, "
                "probe passed %d non-components, %d of them loaded\n",
                walkLines, walkFailed, regsvrOk, probed, loaded);
    return 0;
}
