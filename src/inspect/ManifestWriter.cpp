// The registration-free manifest: each component's classes, type libraries and interfaces as the
// elements of an assembly manifest that activation contexts read.
#include "inspect/ManifestWriter.h"

#include <windows.h>

#include <set>

#include "inspect/CheckFindings.h"
#include "inspect/CheckRegistration.h"
#include "inspect/ComRegistration.h"
#include "inspect/ManifestElements.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace check {
namespace {

constexpr const char* kEnd = kManifestLineEnd;

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text;
}

bool SameText(std::string_view a, std::string_view b) {
    const std::wstring left = win32::Wide(a), right = win32::Wide(b);
    return ::CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(), static_cast<int>(right.size()),
                                  TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string AssemblyNameOf(const std::string& manifestPath) {
    const auto slash = manifestPath.find_last_of("\\/");
    std::string name = slash == std::string::npos ? manifestPath : manifestPath.substr(slash + 1);
    constexpr std::string_view kExtension = ".manifest";
    if (name.size() > kExtension.size() && SameText(std::string_view(name).substr(name.size() - kExtension.size()), kExtension)) {
        name.resize(name.size() - kExtension.size());
    }
    return name;
}

bool ValidAssemblyName(std::string_view name) {
    if (name.empty()) return false;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '.' && c != '-' && c != '_') return false;
    }
    return true;
}

std::string DefaultManifestPath(const std::string& folder) {
    std::string trimmed = folder;
    while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
    const auto slash = trimmed.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    for (char& c : name) {
        if (!ValidAssemblyName(std::string_view(&c, 1))) c = '_';
    }
    if (name.empty()) name = "Velquist";
    return win32::JoinPath(folder, name + ".components.manifest");
}

ManifestBuilder::ManifestBuilder(const std::string& manifestPath) : name_(AssemblyNameOf(manifestPath)) {
    folder_ = win32::FolderOf(win32::FullPathOr(manifestPath));
    if (!folder_.empty() && folder_.back() != '\\') folder_ += '\\';
}

ManifestBuilder::File& ManifestBuilder::FileNamed(std::vector<File>& files, const std::string& name) const {
    const std::string key = win32::Narrow(UpperCase(win32::Wide(name)));
    for (File& file : files) {
        if (file.key == key) return file;
    }
    files.push_back({name, key, {}});
    return files.back();
}

ManifestEntry ManifestBuilder::Add(const ManifestComponent& component) {
    const capture::Capture& captured = component.captured;
    const bool wide = captured.machine == IMAGE_FILE_MACHINE_AMD64;
    if (machine_ != 0 && captured.machine != machine_) {
        return {false, std::string(wide ? "A 64-bit component cannot share a manifest with 32-bit ones"
                                        : "A 32-bit component cannot share a manifest with 64-bit ones") +
                           "; export them from a folder of their own."};
    }
    // Its name in the manifest: below the manifest's folder.
    const auto relative = [this](const std::string& path) -> std::optional<std::string> {
        const std::string full = win32::FullPathOr(path);
        if (folder_.empty() || full.size() <= folder_.size() || !SameText(full.substr(0, folder_.size()), folder_)) {
            return std::nullopt;
        }
        return full.substr(folder_.size());
    };
    const auto own = relative(captured.file);
    if (!own) return {false, "A manifest can only name files in its own folder or below it."};

    const ComRegistration com = ReadComRegistration(captured);
    std::vector<std::string> notCarried;
    std::vector<std::string> ownElements;
    std::vector<std::pair<std::string, std::string>> libraryFiles;  // another file of the folder, its element
    std::vector<std::pair<std::wstring, std::string>> externals;    // folded IID, element
    std::vector<std::wstring> classIds, progIds, libraryIds, interfaceIds;
    const auto taken = [](const std::map<std::wstring, std::string>& defined, const std::wstring& id) -> const std::string* {
        const auto found = defined.find(UpperCase(id));
        return found == defined.end() ? nullptr : &found->second;
    };
    const auto refused = [](const char* what, const std::wstring& id, const std::string& from) {
        return ManifestEntry{false, std::string("Its ") + what + " " + Printable(id) + " is already in the manifest from " + from + "."};
    };

    // Classes this file serves in-process, with every ProgID that names them.
    std::set<std::wstring> ownClasses;  // folded
    unsigned classCount = 0;
    for (const ComClass& entry : com.classes) {
        if (entry.outOfProcess) notCarried.push_back("the out-of-process server of class " + Printable(entry.id));
        if (entry.categories) notCarried.push_back("the categories of class " + Printable(entry.id));
        if (entry.server.empty()) continue;
        if (!entry.ownFile) {
            notCarried.push_back("class " + Printable(entry.id) + ", served by " + Printable(entry.server));
            continue;
        }
        if (const std::string* from = taken(classes_, entry.id)) return refused("class", entry.id, *from);
        std::vector<std::wstring> names;
        // Each ProgID once; one that an earlier class of the file already took stays that class's.
        const auto addName = [&names, &progIds](const std::wstring& name) {
            if (name.empty()) return;
            for (const std::wstring& known : names) {
                if (SameName(known, name)) return;
            }
            for (const std::wstring& known : progIds) {
                if (SameName(known, name)) return;
            }
            names.push_back(name);
        };
        addName(entry.progId);
        addName(entry.versionIndependentProgId);
        for (const ProgIdKey& key : com.progIds) {
            if (SameName(key.clsid, entry.id)) addName(key.name);
        }
        for (const std::wstring& name : names) {
            if (const std::string* from = taken(progIds_, name)) return refused("ProgID", name, *from);
            progIds.push_back(name);
        }
        const std::string element = ClassElement(entry, names, notCarried);
        ownElements.push_back(element);
        classIds.push_back(entry.id);
        ownClasses.insert(UpperCase(entry.id));
        ++classCount;
    }
    for (const ProgIdKey& key : com.progIds) {
        bool named = false;
        for (const std::wstring& name : progIds) named = named || SameName(name, key.name);
        if (!named) notCarried.push_back("ProgID " + Printable(key.name) + " of a class it does not serve");
    }

    // One version of each type library, from the file of this bitness.
    unsigned libraryCount = 0;
    for (const ComLibrary& library : com.libraries) {
        bool again = false;
        for (const std::wstring& id : libraryIds) again = again || SameName(id, library.id);
        if (again) {
            notCarried.push_back("type library " + Printable(library.id) + " " + Printable(library.version) +
                                 " (a manifest holds one version of a library)");
            continue;
        }
        if (const std::string* from = taken(libraries_, library.id)) return refused("type library", library.id, *from);
        const std::wstring& registered = wide ? (library.win64.empty() ? library.win32 : library.win64)
                                              : (library.win32.empty() ? library.win64 : library.win32);
        const auto [file, resource] = LibraryFile(registered);
        std::wstring helpDir;
        if (!library.helpDir.empty()) {
            const std::string help = win32::FullPathOr(win32::Narrow(library.helpDir)) + "\\";
            if (SameText(help, folder_)) {
                helpDir.clear();
            } else if (const auto below = relative(help)) {
                helpDir = win32::Wide(below->substr(0, below->size() - 1));
            }
        }
        const std::string element = LibraryElement(library, helpDir, resource);
        const std::string path = win32::Narrow(file);
        if (SameFile(path, captured.file)) {
            ownElements.push_back(element);
        } else if (const auto name = relative(path); name && !path.empty()) {
            libraryFiles.emplace_back(*name, element);
        } else {
            notCarried.push_back("type library " + Printable(library.id) + ", whose file " + Printable(registered) +
                                 " lies outside the manifest's folder");
            continue;
        }
        libraryIds.push_back(library.id);
        ++libraryCount;
    }

    // Interfaces: those whose proxy/stub class this file serves with its file, the rest under the assembly.
    unsigned interfaceCount = 0;
    for (const ComInterface& entry : com.interfaces) {
        const bool ownProxy = !entry.proxyStub.empty() && ownClasses.count(UpperCase(entry.proxyStub)) != 0;
        const std::string element = InterfaceElement(entry, ownProxy);
        const std::wstring id = UpperCase(entry.id);
        if (const auto known = interfaces_.find(id); known != interfaces_.end()) {
            if (!ownProxy && known->second == element) continue;  // the same entry, written once
            return refused("interface", entry.id, interfaceFiles_[id]);
        }
        if (ownProxy) {
            ownElements.push_back(element);
        } else {
            externals.emplace_back(id, element);
        }
        interfaceIds.push_back(entry.id);
        ++interfaceCount;
    }

    if (com.keysOutside > 0) notCarried.push_back(Counted(com.keysOutside, "key", "keys") + " outside the classes");
    for (const std::wstring& extension : com.associations) notCarried.push_back("the file association " + Printable(extension));
    if (com.componentCategories) notCarried.push_back("its component categories");
    if (com.appIds) notCarried.push_back("its AppID keys");
    for (const std::wstring& key : com.otherKeys) notCarried.push_back("the key " + Printable(key));

    // Taken: everything it defines goes in.
    if (machine_ == 0) machine_ = captured.machine;
    for (const std::wstring& id : classIds) classes_[UpperCase(id)] = *own;
    for (const std::wstring& name : progIds) progIds_[UpperCase(name)] = *own;
    for (const std::wstring& id : libraryIds) libraries_[UpperCase(id)] = *own;
    for (const auto& [id, element] : externals) {
        interfaces_[id] = element;
        interfaceFiles_[id] = *own;
        external_.push_back(element);
    }
    for (const std::wstring& id : interfaceIds) {
        interfaces_.emplace(UpperCase(id), std::string());
        interfaceFiles_.emplace(UpperCase(id), *own);
    }
    File& file = FileNamed(files_, *own);
    file.elements.insert(file.elements.end(), ownElements.begin(), ownElements.end());
    for (const auto& [name, element] : libraryFiles) FileNamed(files_, name).elements.push_back(element);
    if (taken_ == 0) {
        version_ = component.fileVersion;
    } else if (!component.fileVersion || !version_ || *component.fileVersion != *version_) {
        version_.reset();
    }
    ++taken_;

    std::vector<std::string> carried;
    if (classCount > 0) carried.push_back(Counted(classCount, "class", "classes"));
    if (libraryCount > 0) carried.push_back(Counted(libraryCount, "type library", "type libraries"));
    if (interfaceCount > 0) carried.push_back(Counted(interfaceCount, "interface", "interfaces"));
    std::string detail = carried.empty() ? "It registers nothing a manifest carries; the manifest names its file."
                                         : Joined(carried) + " in the manifest.";
    if (!notCarried.empty()) detail += " Not in the manifest: " + Joined(notCarried) + ".";
    return {true, detail};
}

std::string ManifestBuilder::Architecture() const {
    if (machine_ == 0) return {};
    return machine_ == IMAGE_FILE_MACHINE_AMD64 ? "amd64" : "x86";
}

std::string ManifestBuilder::Version() const {
    if (!version_) return "1.0.0.0";
    const auto& v = *version_;
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

std::string ManifestBuilder::Text() const {
    std::string text = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>") + kEnd +
                       "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">" + kEnd +
                       "  <assemblyIdentity type=\"win32\"" + Attribute("name", win32::Wide(name_), true) +
                       Attribute("version", win32::Wide(Version()), true) +
                       Attribute("processorArchitecture", win32::Wide(Architecture()), true) + "/>" + kEnd;
    for (const File& file : files_) {
        text += "  <file" + Attribute("name", win32::Wide(file.name), true);
        if (file.elements.empty()) {
            text += std::string("/>") + kEnd;
            continue;
        }
        text += std::string(">") + kEnd;
        for (const std::string& element : file.elements) text += element + kEnd;
        text += std::string("  </file>") + kEnd;
    }
    for (const std::string& element : external_) text += element + kEnd;
    return text + "</assembly>" + kEnd;
}

}  // namespace check
