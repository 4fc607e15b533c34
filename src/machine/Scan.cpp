// Judging the machine's registrations: missing files and the entries that point at nothing.
#include "machine/Scan.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace machine {
namespace {

constexpr std::size_t kNamesListed = 4;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Up to a few names, then how many more.
std::string Names(const std::vector<std::string>& names) {
    std::vector<std::string> shown(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(std::min(names.size(), kNamesListed)));
    if (names.size() > kNamesListed) shown.push_back(std::to_string(names.size() - kNamesListed) + " more");
    return ListedText(shown);
}

std::string Places(const std::set<Place>& places) {
    std::vector<std::string> texts;
    for (const Place& place : places) texts.push_back(PlaceText(place));
    return ListedText(texts);
}

struct ClassKey {
    Bitness view;
    std::string clsid;  // upper case
    friend auto operator<=>(const ClassKey&, const ClassKey&) = default;
};

class Judgement {
public:
    Judgement(const Registrations& registrations, FileLook& look) : in_(registrations), look_(look) {}

    Findings Run() {
        for (std::size_t i = 0; i < in_.classes.size(); ++i) JudgeClass(in_.classes[i], i);
        for (const ProgIdEntry& entry : in_.progIds) progIdNames_.insert(Upper(entry.name));
        for (const TypeLibEntry& entry : in_.typeLibs) libids_.insert(Upper(entry.libid));
        for (std::size_t i = 0; i < in_.progIds.size(); ++i) JudgeProgId(in_.progIds[i], i);
        for (std::size_t i = 0; i < in_.typeLibs.size(); ++i) JudgeTypeLib(in_.typeLibs[i], i);
        for (const InterfaceEntry& entry : in_.interfaces) JudgeInterface(entry);
        Findings findings;
        for (auto& [key, missing] : missing_) findings.missing.push_back(std::move(missing));
        findings.broken = std::move(broken_);
        findings.classes = std::move(classRemovals_);
        findings.progIds = std::move(progIdRemovals_);
        findings.typeLibs = std::move(typeLibRemovals_);
        return findings;
    }

private:
    struct Judged {
        bool broken = false;
        std::vector<std::string> missingFiles;  // when broken
    };

    Exists ExistsIn(Bitness view) {
        return [this, view](const std::string& path) { return look_.Look(path, view) == FileState::Present; };
    }

    MissingFile& Missing(const std::string& file) {
        MissingFile& missing = missing_[Upper(file)];
        if (missing.file.empty()) missing.file = file;
        return missing;
    }

    void JudgeClass(const ClassEntry& entry, std::size_t index) {
        Judged judged;
        std::vector<std::string> files;
        if (entry.advertised) {
            // installed on first use
        } else if (entry.managed) {
            if (!entry.codeBase.empty()) files.push_back(entry.codeBase);
        } else {
            for (const ServerValue& server : entry.servers) {
                files.push_back(server.kind == ServerValue::Kind::Local
                                    ? ProgramOfCommandLine(server.value, ExistsIn(entry.place.view))
                                    : ServerPathOf(server.value));
            }
        }
        judged.broken = !files.empty() && std::all_of(files.begin(), files.end(), [&](const std::string& file) {
            return look_.Look(file, entry.place.view) == FileState::Missing;
        });
        if (judged.broken) {
            classRemovals_.push_back({index, files.front()});
            for (const std::string& file : files) {
                MissingFile& missing = Missing(file);
                missing.classes.push_back(entry.name.empty() ? entry.clsid : entry.name);
                missing.places.insert(entry.place);
                judged.missingFiles.push_back(file);
            }
        }
        classes_[ClassKey{entry.place.view, Upper(entry.clsid)}].push_back(std::move(judged));
    }

    // The class's entries in the views a ProgID or an interface of `place` reaches: none when it is
    // registered there nowhere.
    std::vector<const Judged*> ClassIn(const std::string& clsid, Bitness view, bool alsoOtherView) {
        std::vector<const Judged*> found;
        for (const Bitness each : {Bitness::Bits64, Bitness::Bits32}) {
            if (each != view && !alsoOtherView) continue;
            const auto it = classes_.find(ClassKey{each, Upper(clsid)});
            if (it == classes_.end()) continue;
            for (const Judged& judged : it->second) found.push_back(&judged);
        }
        return found;
    }

    static bool AllBroken(const std::vector<const Judged*>& entries) {
        return std::all_of(entries.begin(), entries.end(), [](const Judged* judged) { return judged->broken; });
    }

    void JudgeProgId(const ProgIdEntry& entry, std::size_t index) {
        std::string detail;
        if (!entry.clsid.empty()) {
            // The shared classes' ProgIDs serve both views (Wow6432Node holds the 32-bit view's own).
            const auto found = ClassIn(entry.clsid, entry.place.view, entry.place.view == Bitness::Bits64);
            if (found.empty()) {
                detail = "This ProgID names the class " + entry.clsid + ", which is registered nowhere (" +
                         PlaceText(entry.place) + ").";
                progIdRemovals_.push_back({index, {}});
            } else if (AllBroken(found)) {
                progIdRemovals_.push_back({index, found.front()->missingFiles.front()});
                std::set<std::string> counted;  // a file is pointed at once by each ProgID
                for (const Judged* judged : found) {
                    for (const std::string& file : judged->missingFiles) {
                        if (counted.insert(Upper(file)).second) ++Missing(file).progIds;
                    }
                }
            }
        }
        if (!entry.curVer.empty() && progIdNames_.count(Upper(entry.curVer)) == 0) {
            detail += (detail.empty() ? "This ProgID's" : " Its") + std::string(" CurVer names ") + entry.curVer +
                      ", which does not exist" + (detail.empty() ? " (" + PlaceText(entry.place) + ")." : ".");
        }
        if (!detail.empty()) broken_.push_back({entry.name, detail});
    }

    void JudgeTypeLib(const TypeLibEntry& entry, std::size_t index) {
        const Bitness bits = entry.platform == "win64" ? Bitness::Bits64 : Bitness::Bits32;
        const std::string file = TypeLibFileOf(ServerPathOf(entry.file), ExistsIn(bits));
        if (file.empty() || look_.Look(file, bits) != FileState::Missing) return;
        typeLibRemovals_.push_back({index, file});
        MissingFile& missing = Missing(file);
        const std::string name = entry.name.empty() ? entry.libid + " " + entry.version : entry.name;
        if (std::find(missing.typeLibs.begin(), missing.typeLibs.end(), name) == missing.typeLibs.end()) {
            missing.typeLibs.push_back(name);
        }
        // Both views share the type libraries' keys: the platform says which programs it serves.
        missing.places.insert(Place{bits, entry.place.perUser});
    }

    void JudgeInterface(const InterfaceEntry& entry) {
        std::string detail;
        const std::string where = " (" + PlaceText(entry.place) + ").";
        if (!entry.proxyStub.empty()) {
            const auto found = ClassIn(entry.proxyStub, entry.place.view, false);
            if (found.empty()) {
                detail = "This interface's proxy/stub class " + entry.proxyStub + " is registered in neither hive of its view" + where;
            } else if (AllBroken(found)) {
                detail = "This interface's proxy/stub class " + entry.proxyStub + " is served by " + found.front()->missingFiles.front() +
                         ", which does not exist" + where + Repair(found.front()->missingFiles.front(), entry.place.view);
            }
        }
        if (!entry.typeLib.empty() && libids_.count(Upper(entry.typeLib)) == 0) {
            detail += (detail.empty() ? "This interface names" : " It also names") + std::string(" the type library ") + entry.typeLib +
                      ", which is registered nowhere" + (detail.empty() ? where : ".");
        }
        if (detail.empty()) return;
        detail += " Every program that uses this interface across processes or threads fails while it is broken.";
        broken_.push_back({entry.name.empty() ? entry.iid : entry.name, detail});
    }

    // Where a file of the missing server's name is in the view's system folder: registering it again repairs it.
    std::string Repair(const std::string& missingFile, Bitness view) {
        const std::size_t slash = missingFile.find_last_of("\\/");
        const std::string name = missingFile.substr(slash == std::string::npos ? 0 : slash + 1);
        if (name.empty() || name.find('.') == std::string::npos) return {};
        if (look_.Look(name, view) != FileState::Present) return {};
        return " A file of that name is in the system folder: register it again (" + name + ", " +
               (view == Bitness::Bits32 ? "32-bit" : "64-bit") + ") to repair it.";
    }

    const Registrations& in_;
    FileLook& look_;
    std::map<ClassKey, std::vector<Judged>> classes_;
    std::set<std::string> progIdNames_, libids_;
    std::map<std::string, MissingFile> missing_;  // by file, upper case
    std::vector<BrokenEntry> broken_;
    std::vector<Removable> classRemovals_, progIdRemovals_, typeLibRemovals_;
};

}  // namespace

std::string ListedText(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text;
}

Findings Judge(const Registrations& registrations, FileLook& look) { return Judgement(registrations, look).Run(); }

std::string MissingDetail(const MissingFile& missing) {
    std::vector<std::string> parts;
    if (!missing.classes.empty()) {
        parts.push_back(Counted(missing.classes.size(), "class", "classes") + " (" + Names(missing.classes) + ")");
    }
    if (missing.progIds > 0) parts.push_back(Counted(missing.progIds, "ProgID", "ProgIDs"));
    if (!missing.typeLibs.empty()) {
        parts.push_back(Counted(missing.typeLibs.size(), "type library", "type libraries") + " (" +
                        Names(missing.typeLibs) + ")");
    }
    const std::size_t pointers = missing.classes.size() + missing.progIds + missing.typeLibs.size();
    return "The file does not exist. " + ListedText(parts) + (pointers == 1 ? " points" : " point") + " at it: " +
           Places(missing.places) + ".";
}

}  // namespace machine
