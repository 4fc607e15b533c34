// The elements of a registration-free manifest, written from what a component registers.
#include "inspect/ManifestElements.h"

#include <windows.h>

#include <cstdio>

#include "inspect/CheckFindings.h"

namespace check {
namespace {

// The ThreadingModel as a manifest spells it; "" for the main apartment (none, or "Single").
std::wstring ThreadingModel(std::wstring_view registered) {
    for (const wchar_t* model : {L"Apartment", L"Free", L"Both", L"Neutral"}) {
        if (SameName(registered, model)) return model;
    }
    return {};
}

// OLEMISC bits as a manifest's miscStatus words.
struct MiscWord {
    std::uint32_t bit;
    const wchar_t* word;
};
constexpr MiscWord kMiscWords[] = {
    {0x1, L"recomposeonresize"}, {0x2, L"onlyiconic"}, {0x4, L"insertnotreplace"}, {0x8, L"static"},
    {0x10, L"cantlinkinside"}, {0x20, L"canlinkbyole1"}, {0x40, L"islinkobject"}, {0x80, L"insideout"},
    {0x100, L"activatewhenvisible"}, {0x200, L"renderingisdeviceindependent"}, {0x400, L"invisibleatruntime"},
    {0x800, L"alwaysrun"}, {0x1000, L"actslikebutton"}, {0x2000, L"actslikelabel"}, {0x4000, L"nouiactivate"},
    {0x8000, L"alignable"}, {0x10000, L"simpleframe"}, {0x20000, L"setclientsitefirst"}, {0x40000, L"imemode"},
    {0x80000, L"ignoreactivatewhenvisible"}, {0x100000, L"wantstomenumerge"}, {0x200000, L"supportsmultilevelundo"},
};

std::wstring MiscWords(std::uint32_t bits, std::uint32_t& unknown) {
    std::wstring words;
    for (const MiscWord& word : kMiscWords) {
        if ((bits & word.bit) == 0) continue;
        if (!words.empty()) words += L',';
        words += word.word;
        bits &= ~word.bit;
    }
    unknown = bits;
    return words;
}

// LIBFLAGS as a manifest's typelib flags.
std::wstring LibraryFlags(std::uint32_t flags) {
    std::wstring words;
    const struct {
        std::uint32_t bit;
        const wchar_t* word;
    } names[] = {{1, L"RESTRICTED"}, {2, L"CONTROL"}, {4, L"HIDDEN"}, {8, L"HASDISKIMAGE"}};
    for (const auto& name : names) {
        if ((flags & name.bit) == 0) continue;
        if (!words.empty()) words += L',';
        words += name.word;
    }
    return words;
}

}  // namespace

std::string Xml(std::wstring_view text) {
    std::wstring kept;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                kept += c;
                kept += text[++i];
            }
            continue;
        }
        if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) continue;
        switch (c) {
            case L'&': kept += L"&amp;"; break;
            case L'<': kept += L"&lt;"; break;
            case L'>': kept += L"&gt;"; break;
            case L'"': kept += L"&quot;"; break;
            case L'\t': kept += L"&#9;"; break;
            case L'\n': kept += L"&#10;"; break;
            case L'\r': kept += L"&#13;"; break;
            default:
                if (c >= 0x20) kept += c;
        }
    }
    if (kept.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, kept.data(), static_cast<int>(kept.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, kept.data(), static_cast<int>(kept.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string Attribute(const char* name, std::wstring_view value, bool always) {
    if (value.empty() && !always) return {};
    return std::string(" ") + name + "=\"" + Xml(value) + "\"";
}

std::pair<std::wstring, std::wstring> LibraryFile(const std::wstring& registered) {
    const auto slash = registered.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash + 1 == registered.size()) return {registered, {}};
    for (std::size_t i = slash + 1; i < registered.size(); ++i) {
        if (registered[i] < L'0' || registered[i] > L'9') return {registered, {}};
    }
    return {registered.substr(0, slash), registered.substr(slash + 1)};
}

std::string ClassElement(const ComClass& entry, const std::vector<std::wstring>& progIds,
                         std::vector<std::string>& notCarried) {
    std::string element = "    <comClass" + Attribute("clsid", entry.id) +
                          Attribute("threadingModel", ThreadingModel(entry.threadingModel)) +
                          (progIds.empty() ? "" : Attribute("progid", progIds.front())) + Attribute("tlbid", entry.typeLib) +
                          Attribute("description", entry.description);
    const char* const miscNames[] = {"miscStatus", "miscStatusContent", "miscStatusThumbnail", "miscStatusIcon",
                                     "miscStatusDocPrint"};
    for (std::size_t i = 0; i < 5; ++i) {
        if (!entry.miscStatus[i] || *entry.miscStatus[i] == 0) continue;
        std::uint32_t unknown = 0;
        element += Attribute(miscNames[i], MiscWords(*entry.miscStatus[i], unknown));
        if (unknown != 0) {
            char bits[16];
            std::snprintf(bits, sizeof bits, "0x%X", unknown);
            notCarried.push_back(std::string("MiscStatus bits ") + bits + " of class " + Printable(entry.id));
        }
    }
    if (progIds.size() <= 1) {
        element += "/>";
    } else {
        element += ">";
        for (std::size_t i = 1; i < progIds.size(); ++i) {
            element += std::string(kManifestLineEnd) + "      <progid>" + Xml(progIds[i]) + "</progid>";
        }
        element += std::string(kManifestLineEnd) + "    </comClass>";
    }
    return element;
}

std::string LibraryElement(const ComLibrary& library, const std::wstring& helpDir, const std::wstring& resource) {
    return "    <typelib" + Attribute("tlbid", library.id) +
           Attribute("version", std::to_wstring(library.major) + L"." + std::to_wstring(library.minor)) +
           Attribute("helpdir", helpDir, true) +
           (library.flags ? Attribute("flags", LibraryFlags(*library.flags)) : std::string()) +
           Attribute("resourceid", resource) + "/>";
}

std::string InterfaceElement(const ComInterface& entry, bool ownProxy) {
    const std::string body = Attribute("iid", entry.id) + Attribute("name", entry.name) + Attribute("tlbid", entry.typeLib) +
                             Attribute("proxyStubClsid32", entry.proxyStub) + Attribute("numMethods", entry.numMethods) +
                             Attribute("baseInterface", entry.baseInterface) + "/>";
    return ownProxy ? "    <comInterfaceProxyStub" + body : "  <comInterfaceExternalProxyStub" + body;
}

}  // namespace check
