// The other view's Interface keys around a per-user type library registration or unregistration.
#include "runner/TypeLibraryViews.h"

#include <cstdio>

#include "win32/Handles.h"

namespace runner {
namespace {

constexpr char kInterfaces[] = "Software\\Classes\\Interface";

REGSAM OtherView() { return sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

win32::unique_hkey OpenInterface(const std::string& iid, REGSAM access) {
    HKEY opened = nullptr;
    const std::string key = std::string(kInterfaces) + "\\" + iid;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, access | OtherView(), &opened) != ERROR_SUCCESS) return {};
    return win32::unique_hkey(opened);
}

bool Exists(const std::string& iid) { return static_cast<bool>(OpenInterface(iid, KEY_READ)); }

win32::unique_hkey Create(HKEY root, const std::string& key, REGSAM access) {
    HKEY created = nullptr;
    if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, access, nullptr, &created, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return win32::unique_hkey(created);
}

}  // namespace

std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

OtherViewInterfaces::OtherViewInterfaces(ITypeLib* library) {
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
        (Exists(iid) ? present_ : absent_).push_back(iid);
    }
}

OtherViewInterfaces::~OtherViewInterfaces() {
    if (!keptKey_.empty()) ::RegDeleteTreeA(HKEY_CURRENT_USER, keptKey_.c_str());
}

void OtherViewInterfaces::RemoveMade() const {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInterfaces, 0, KEY_READ | KEY_SET_VALUE | DELETE | OtherView(),
                        &opened) != ERROR_SUCCESS) {
        return;
    }
    const win32::unique_hkey interfaces(opened);
    for (const std::string& iid : absent_) {
        if (Exists(iid)) ::RegDeleteTreeA(interfaces.get(), iid.c_str());
    }
}

void OtherViewInterfaces::KeepPresent() {
    if (present_.empty()) return;
    char name[80];
    std::snprintf(name, sizeof name, "Software\\Velquist kept interfaces %lu.%llu",
                  static_cast<unsigned long>(::GetCurrentProcessId()), static_cast<unsigned long long>(::GetTickCount64()));
    keptKey_ = name;
    for (const std::string& iid : present_) {
        const win32::unique_hkey from = OpenInterface(iid, KEY_READ);
        // Not volatile: a volatile key takes no copied subkeys (ERROR_CHILD_MUST_BE_VOLATILE).
        const win32::unique_hkey to =
            Create(HKEY_CURRENT_USER, keptKey_ + "\\" + iid, KEY_ALL_ACCESS);
        if (from && to) ::RegCopyTreeA(from.get(), nullptr, to.get());
    }
}

void OtherViewInterfaces::PutBackKept() const {
    if (keptKey_.empty()) return;
    for (const std::string& iid : present_) {
        if (Exists(iid)) continue;
        HKEY opened = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, (keptKey_ + "\\" + iid).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            continue;
        }
        const win32::unique_hkey from(opened);
        const win32::unique_hkey to = Create(HKEY_LOCAL_MACHINE, std::string(kInterfaces) + "\\" + iid,
                                             KEY_ALL_ACCESS | OtherView());
        if (to) ::RegCopyTreeA(from.get(), nullptr, to.get());
    }
}

}  // namespace runner
