// Type library files: their facts, and RegisterTypeLib / UnRegisterTypeLib machine-wide or per user.
#include "runner/TypeLibrary.h"

#include <cstdio>
#include <vector>

#include "runner/UserClasses.h"
#include "win32/Handles.h"
#include "win32/Paths.h"
#include "win32/Text.h"

// oleaut32 exports both (Vista and later); MinGW's oleauto.h does not declare them.
extern "C" {
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDir);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace runner {

namespace {

// A GUID in the registry's form: braces, upper-case hexadecimal.
std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

HRESULT Load(const std::string& path, std::wstring& fullPath, win32::com_ptr<ITypeLib>& library) {
    DWORD error = ERROR_SUCCESS;
    const std::string full = win32::FullPath(path, error);
    if (full.empty()) return HRESULT_FROM_WIN32(error);
    fullPath = win32::Wide(full);
    return ::LoadTypeLibEx(fullPath.c_str(), REGKIND_NONE, reinterpret_cast<ITypeLib**>(library.put_void()));
}

HRESULT Facts(ITypeLib* library, TypeLibraryFacts& facts) {
    win32::LibAttr attr(library);
    HRESULT hr = attr.Get();
    if (FAILED(hr)) return hr;
    BSTR name = nullptr;
    hr = library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    const win32::unique_bstr nameOwner(name);
    if (FAILED(hr)) return hr;
    facts.libid = attr->guid;
    facts.major = attr->wMajorVerNum;
    facts.minor = attr->wMinorVerNum;
    facts.lcid = attr->lcid;
    facts.syskind = attr->syskind;
    facts.name = name != nullptr ? win32::Narrow(name) : std::string();
    facts.interfaces = 0;
    const UINT count = library->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
        TYPEKIND kind = TKIND_MAX;
        if (SUCCEEDED(library->GetTypeInfoType(index, &kind)) && (kind == TKIND_INTERFACE || kind == TKIND_DISPATCH)) {
            ++facts.interfaces;
        }
    }
    return S_OK;
}

// Wine 8's RegisterTypeLibForUser and UnRegisterTypeLibForUser are RegisterTypeLib and UnRegisterTypeLib,
// which write HKEY_CLASSES_ROOT: the machine's classes there, so the user's call is redirected. But Wine
// also gives each interface a key in the other registry view, through HKEY_CLASSES_ROOT opened with
// KEY_WOW64_32KEY or KEY_WOW64_64KEY, and those go past the redirection to the machine's classes. The
// other view's Interface keys a per-user registration made there are removed again. (A per-user
// unregistration likewise deletes the other view's machine-wide Interface keys of the library's interfaces,
// those of a machine-wide registration of it too.)
class OtherViewInterfaces {
public:
    // Notes which of the library's interfaces have no key of the other view among the machine's classes.
    explicit OtherViewInterfaces(ITypeLib* library) {
        const UINT count = library->GetTypeInfoCount();
        for (UINT index = 0; index < count; ++index) {
            TYPEKIND kind = TKIND_MAX;
            if (FAILED(library->GetTypeInfoType(index, &kind))) continue;
            if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) continue;
            win32::com_ptr<ITypeInfo> info;
            if (FAILED(library->GetTypeInfo(index, reinterpret_cast<ITypeInfo**>(info.put_void())))) continue;
            win32::TypeAttr attr(info.get());
            if (FAILED(attr.Get())) continue;
            const std::string iid = GuidText(attr->guid);
            if (!Exists(iid)) absent_.push_back(iid);
        }
    }

    // Deletes the keys noted that exist now.
    void RemoveMade() const {
        HKEY opened = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInterfaces, 0, KEY_READ | KEY_SET_VALUE | DELETE | View(),
                            &opened) != ERROR_SUCCESS) {
            return;
        }
        const win32::unique_hkey interfaces(opened);
        for (const std::string& iid : absent_) {
            if (Exists(iid)) ::RegDeleteTreeA(interfaces.get(), iid.c_str());
        }
    }

private:
    static constexpr char kInterfaces[] = "Software\\Classes\\Interface";

    static REGSAM View() { return sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

    static bool Exists(const std::string& iid) {
        HKEY opened = nullptr;
        const std::string key = std::string(kInterfaces) + "\\" + iid;
        const LONG error = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | View(), &opened);
        const win32::unique_hkey owner(error == ERROR_SUCCESS ? opened : nullptr);
        return error == ERROR_SUCCESS;
    }

    std::vector<std::string> absent_;
};

}  // namespace

HRESULT ReadTypeLibrary(const std::string& path, TypeLibraryFacts& facts) {
    std::wstring fullPath;
    win32::com_ptr<ITypeLib> library;
    const HRESULT hr = Load(path, fullPath, library);
    if (FAILED(hr)) return hr;
    return Facts(library.get(), facts);
}

HRESULT RegisterTypeLibraryFile(const std::string& path, bool perUser) {
    std::wstring fullPath;
    win32::com_ptr<ITypeLib> library;
    const HRESULT hr = Load(path, fullPath, library);
    if (FAILED(hr)) return hr;
    if (!perUser) return ::RegisterTypeLib(library.get(), fullPath.data(), nullptr);

    UserClasses classes;
    const DWORD error = classes.Enter();
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    const OtherViewInterfaces otherView(library.get());
    const HRESULT registered = ::RegisterTypeLibForUser(library.get(), fullPath.data(), nullptr);
    otherView.RemoveMade();
    return registered;
}

HRESULT UnregisterTypeLibraryFile(const std::string& path, bool perUser) {
    TypeLibraryFacts facts;
    const HRESULT hr = ReadTypeLibrary(path, facts);
    if (FAILED(hr)) return hr;
    if (!perUser) return ::UnRegisterTypeLib(facts.libid, facts.major, facts.minor, facts.lcid, facts.syskind);

    UserClasses classes;
    const DWORD error = classes.Enter();
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    return ::UnRegisterTypeLibForUser(facts.libid, facts.major, facts.minor, facts.lcid, facts.syskind);
}

std::uint16_t MachineOf(SYSKIND syskind) {
    switch (syskind) {
    case SYS_WIN32:
        return IMAGE_FILE_MACHINE_I386;
    case SYS_WIN64:
        return IMAGE_FILE_MACHINE_AMD64;
    default:
        return 0;
    }
}

std::string TypeLibraryDetail(const TypeLibraryFacts& facts) {
    return "Type library " + facts.name + " " + std::to_string(facts.major) + "." + std::to_string(facts.minor) +
           " (" + GuidText(facts.libid) + "), " + std::to_string(facts.interfaces) +
           (facts.interfaces == 1 ? " interface." : " interfaces.");
}

}  // namespace runner
