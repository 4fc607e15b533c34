// A registration-free assembly manifest of captured components: what Windows' activation contexts read
// to make their classes, find their ProgIDs and type libraries and marshal their interfaces with nothing
// registered. Built a component at a time; a component the manifest cannot take adds nothing to it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/Capture.h"

namespace check {

// The assembly name a manifest file gives: its file name without ".manifest".
std::string AssemblyNameOf(const std::string& manifestPath);
// Whether Windows takes it as an assembly's name: letters, digits, '.', '-' and '_' only, not empty.
bool ValidAssemblyName(std::string_view name);
// The manifest a folder's components are exported to by default: "FOLDER\NAME.components.manifest",
// NAME the folder's own name with what an assembly name cannot hold as '_'.
std::string DefaultManifestPath(const std::string& folder);

struct ManifestComponent {
    capture::Capture captured;
    std::optional<std::array<std::uint16_t, 4>> fileVersion;  // the file's version resource, where it has one
};

struct ManifestEntry {
    bool taken = false;  // in the manifest; else refused, and `detail` says why
    std::string detail;  // for users, in the program's code page
};

class ManifestBuilder {
public:
    // The manifest to be written to manifestPath (a full path): the assembly's name comes from it and
    // every file it names lies in its folder or below it.
    explicit ManifestBuilder(const std::string& manifestPath);

    ManifestEntry Add(const ManifestComponent& component);
    // Components taken so far.
    unsigned Taken() const { return taken_; }
    // The manifest: UTF-8, lines ending in CR LF.
    std::string Text() const;
    // "x86" or "amd64" ("" before the first component is taken), and the version written.
    std::string Architecture() const;
    std::string Version() const;
    const std::string& Name() const { return name_; }

private:
    struct File {
        std::string name;        // relative to the manifest's folder
        std::string key;         // the name folded, to find it again
        std::vector<std::string> elements;
    };
    File& FileNamed(std::vector<File>& files, const std::string& name) const;

    std::string folder_;  // the manifest's folder, with its final backslash
    std::string name_;
    std::uint16_t machine_ = 0;
    std::vector<File> files_;
    unsigned taken_ = 0;
    std::vector<std::string> external_;  // comInterfaceExternalProxyStub elements
    // What the manifest defines (folded) and the component file it came from.
    std::map<std::wstring, std::string> classes_, progIds_, libraries_;
    std::map<std::wstring, std::string> interfaces_;  // folded IID -> its element, to write equal ones once
    std::map<std::wstring, std::string> interfaceFiles_;
    std::optional<std::array<std::uint16_t, 4>> version_;  // shared by every component taken
};

}  // namespace check
