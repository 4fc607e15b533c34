// Reading the machine's COM registrations, key by key, in each view and hive.
#include "machine/Registrations.h"

#include <cwctype>

#include "win32/Handles.h"
#include "win32/Text.h"

namespace machine {
namespace {

constexpr unsigned kKeysPerProgress = 256;

win32::unique_hkey Open(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return nullptr;
    return win32::unique_hkey(key);
}

bool Same(const std::wstring& a, const wchar_t* b) { return ::lstrcmpiW(a.c_str(), b) == 0; }

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[256];  // a key name has at most 255 characters
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(std::size(name));
        const LONG error = ::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_MORE_DATA) continue;
        if (error != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// A string value (REG_SZ, or REG_EXPAND_SZ expanded); "" when absent or of another type.
std::string StringValue(HKEY key, const wchar_t* name) {
    // Most values fit the first buffer: one question to the registry rather than two.
    std::wstring text(260, L'\0');
    DWORD type = 0, bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    LONG error = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes);
    if (error == ERROR_MORE_DATA) {
        text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        error = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes);
    }
    if (error != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    text.resize(std::min<std::size_t>(text.size(), bytes / sizeof(wchar_t)));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    if (type == REG_EXPAND_SZ) {
        const DWORD size = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        std::wstring expanded(size, L'\0');
        if (size > 0 && ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size) == size) {
            expanded.resize(size - 1);
            text = expanded;
        }
    }
    return win32::Narrow(text);
}

// The default value of the key `sub` below `key`; "" when either is absent.
std::string DefaultOf(HKEY key, const wchar_t* sub, REGSAM view) {
    const win32::unique_hkey child = Open(key, sub, view);
    return child ? StringValue(child.get(), nullptr) : std::string();
}

// Whether the server key holds Windows Installer's descriptor of an advertised server: a REG_MULTI_SZ
// value named as the key (InprocServer32, LocalServer32).
bool HasDescriptor(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    return ::RegQueryValueExW(key, name, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS && type == REG_MULTI_SZ;
}

// "file:///C:/App/x.dll" as a path; anything else as it is.
std::string FileOfUrl(std::string url) {
    constexpr const char kScheme[] = "file:///";
    if (url.size() > 8 && ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, url.c_str(), 8, kScheme, 8) == CSTR_EQUAL) {
        url = url.substr(8);
    }
    std::string path;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && std::isxdigit(static_cast<unsigned char>(url[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(url[i + 2]))) {
            path += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += url[i] == '/' ? '\\' : url[i];
        }
    }
    return path;
}

// A managed class's CodeBase: in its InprocServer32 key, or in one of its version keys.
std::string CodeBaseOf(HKEY inproc, REGSAM view) {
    std::string codeBase = StringValue(inproc, L"CodeBase");
    for (const std::wstring& version : SubkeyNames(inproc)) {
        if (!codeBase.empty()) break;
        if (const win32::unique_hkey key = Open(inproc, version, view)) codeBase = StringValue(key.get(), L"CodeBase");
    }
    return codeBase.empty() ? std::string() : FileOfUrl(codeBase);
}

bool IsMscoree(const std::string& value) {
    const std::string path = ServerPathOf(value);
    const std::size_t slash = path.find_last_of("\\/");
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    return ::lstrcmpiA(name.c_str(), "mscoree.dll") == 0 || ::lstrcmpiA(name.c_str(), "mscoree") == 0;
}

class Reader {
public:
    Reader(Registrations& out, const std::function<bool()>& keyRead) : out_(out), keyRead_(keyRead) {}

    bool Stopped() const noexcept { return stopped_; }

    void ReadRoot(const ClassesRoot& root) {
        // Every key below the root is opened in the root's view: a 32-bit process asking for a subkey
        // without it is taken to the 32-bit view again.
        view_ = root.view;
        const win32::unique_hkey classes = Open(root.hive, root.path, root.view);
        if (!classes) return;
        for (const std::wstring& name : SubkeyNames(classes.get())) {
            if (!Counted()) return;
            if (Same(name, L"Wow6432Node")) continue;
            const win32::unique_hkey key = Open(classes.get(), name, view_);
            if (!key) continue;
            if (Same(name, L"CLSID")) {
                ReadClasses(key.get(), root.place);
            } else if (Same(name, L"Interface")) {
                ReadInterfaces(key.get(), root.place);
            } else if (Same(name, L"TypeLib")) {
                ReadTypeLibs(key.get(), root.place);
            } else if (name[0] != L'.') {
                ReadProgId(key.get(), name, root.place);
            } else if (std::string type = StringValue(key.get(), nullptr); !type.empty()) {
                ::CharUpperBuffA(type.data(), static_cast<DWORD>(type.size()));
                out_.fileTypes.insert(std::move(type));
            }
        }
    }

private:
    // Counts a key read; false once the reading is to stop.
    bool Counted() {
        if (!stopped_ && ++keys_ % kKeysPerProgress == 0 && keyRead_ && !keyRead_()) stopped_ = true;
        return !stopped_;
    }

    void ReadClasses(HKEY clsids, const Place& place) {
        for (const std::wstring& name : SubkeyNames(clsids)) {
            if (!Counted()) return;
            const win32::unique_hkey key = Open(clsids, name, view_);
            if (!key) continue;
            ClassEntry entry;
            entry.place = place;
            entry.clsid = win32::Narrow(name);
            entry.name = DefaultOf(key.get(), L"ProgID", view_);
            if (entry.name.empty()) entry.name = StringValue(key.get(), nullptr);
            const struct {
                const wchar_t* key;
                ServerValue::Kind kind;
            } servers[] = {{L"InprocServer32", ServerValue::Kind::Inproc},
                           {L"InprocHandler32", ServerValue::Kind::Handler},
                           {L"LocalServer32", ServerValue::Kind::Local}};
            for (const auto& server : servers) {
                const win32::unique_hkey serverKey = Open(key.get(), server.key, view_);
                if (!serverKey) continue;
                entry.advertised = entry.advertised || HasDescriptor(serverKey.get(), server.key);
                std::string value = StringValue(serverKey.get(), nullptr);
                if (server.kind == ServerValue::Kind::Inproc && IsMscoree(value) &&
                    (!StringValue(serverKey.get(), L"Assembly").empty() || !SubkeyNames(serverKey.get()).empty())) {
                    entry.managed = true;
                    entry.codeBase = CodeBaseOf(serverKey.get(), view_);
                }
                if (!value.empty()) entry.servers.push_back({server.kind, std::move(value)});
            }
            out_.classes.push_back(std::move(entry));
        }
    }

    void ReadInterfaces(HKEY interfaces, const Place& place) {
        for (const std::wstring& name : SubkeyNames(interfaces)) {
            if (!Counted()) return;
            const win32::unique_hkey key = Open(interfaces, name, view_);
            if (!key) continue;
            out_.interfaces.push_back({place, win32::Narrow(name), StringValue(key.get(), nullptr),
                                       DefaultOf(key.get(), L"ProxyStubClsid32", view_), DefaultOf(key.get(), L"TypeLib", view_)});
        }
    }

    void ReadTypeLibs(HKEY libraries, const Place& place) {
        for (const std::wstring& libid : SubkeyNames(libraries)) {
            const win32::unique_hkey library = Open(libraries, libid, view_);
            if (!library) continue;
            for (const std::wstring& version : SubkeyNames(library.get())) {
                if (!Counted()) return;
                const win32::unique_hkey versionKey = Open(library.get(), version, view_);
                if (!versionKey) continue;
                const std::string title = StringValue(versionKey.get(), nullptr);
                for (const std::wstring& lcid : SubkeyNames(versionKey.get())) {
                    if (lcid.empty() || !std::all_of(lcid.begin(), lcid.end(), [](wchar_t c) { return std::iswxdigit(c) != 0; })) {
                        continue;  // FLAGS, HELPDIR
                    }
                    const win32::unique_hkey lcidKey = Open(versionKey.get(), lcid, view_);
                    if (!lcidKey) continue;
                    for (const wchar_t* platform : {L"win32", L"win64"}) {
                        const win32::unique_hkey platformKey = Open(lcidKey.get(), platform, view_);
                        if (!platformKey) continue;
                        out_.typeLibs.push_back({place, win32::Narrow(libid), win32::Narrow(version), win32::Narrow(lcid),
                                                 win32::Narrow(platform), title, StringValue(platformKey.get(), nullptr)});
                    }
                }
            }
        }
    }

    // A key of the classes' root is a ProgID when it names a class or a current version.
    void ReadProgId(HKEY key, const std::wstring& name, const Place& place) {
        ProgIdEntry entry{place, win32::Narrow(name), DefaultOf(key, L"CLSID", view_), DefaultOf(key, L"CurVer", view_)};
        if (!entry.clsid.empty() || !entry.curVer.empty()) out_.progIds.push_back(std::move(entry));
    }

    Registrations& out_;
    const std::function<bool()>& keyRead_;
    REGSAM view_ = 0;
    unsigned keys_ = 0;
    bool stopped_ = false;
};

}  // namespace

std::string PlaceText(const Place& place) {
    return std::string(place.view == Bitness::Bits32 ? "32-bit" : "64-bit") +
           (place.perUser ? ", for the current user" : ", for all users");
}

std::vector<ClassesRoot> MachineRoots() {
    BOOL wow64 = FALSE;
    const bool windows64 = sizeof(void*) == 8 || (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64);
    std::vector<ClassesRoot> roots;
    for (const bool perUser : {false, true}) {
        const HKEY hive = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        if (!windows64) {
            roots.push_back({hive, L"Software\\Classes", 0, {Bitness::Bits32, perUser}});
            continue;
        }
        roots.push_back({hive, L"Software\\Classes", KEY_WOW64_64KEY, {Bitness::Bits64, perUser}});
        roots.push_back({hive, L"Software\\Classes\\Wow6432Node", KEY_WOW64_64KEY, {Bitness::Bits32, perUser}});
    }
    return roots;
}

Registrations ReadRegistrations(const std::vector<ClassesRoot>& roots, const std::function<bool()>& keyRead) {
    Registrations out;
    Reader reader(out, keyRead);
    for (const ClassesRoot& root : roots) {
        if (reader.Stopped()) break;
        reader.ReadRoot(root);
    }
    return out;
}

}  // namespace machine
