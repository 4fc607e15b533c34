// Type library files: their facts, and RegisterTypeLib / UnRegisterTypeLib machine-wide or per user.
#include "runner/TypeLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "runner/RunnerCapture.h"
#include "runner/RunnerProtocol.h"

#include "runner/TypeLibraryViews.h"
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

    std::wstring fullPath;
    win32::com_ptr<ITypeLib> library;
    const HRESULT loaded = Load(path, fullPath, library);
    if (FAILED(loaded)) return loaded;
    UserClasses classes;
    const DWORD error = classes.Enter();
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    OtherViewInterfaces otherView(library.get());
    otherView.KeepPresent();
    const HRESULT unregistered =
        ::UnRegisterTypeLibForUser(facts.libid, facts.major, facts.minor, facts.lcid, facts.syskind);
    otherView.PutBackKept();
    return unregistered;
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

std::string EncodeFacts(const TypeLibraryFacts& facts) {
    // A name as DecodeFacts takes it: its first 255 bytes, control characters as '?'.
    std::string name = facts.name.substr(0, 255);
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    std::string bytes;
    for (const std::string& field :
         {name, GuidText(facts.libid), std::to_string(facts.major), std::to_string(facts.minor),
          std::to_string(facts.lcid), std::to_string(static_cast<unsigned>(facts.syskind)),
          std::to_string(facts.interfaces)}) {
        bytes.append(field).push_back('\0');
    }
    return bytes.size() <= kMaxDetailBytes ? bytes : std::string();
}

bool DecodeFacts(std::string_view bytes, TypeLibraryFacts& facts) {
    std::string fields[7];
    for (std::string& field : fields) {
        const auto end = bytes.find('\0');
        if (end == std::string_view::npos) return false;
        field.assign(bytes.substr(0, end));
        bytes.remove_prefix(end + 1);
    }
    if (!bytes.empty() || fields[0].size() > 255) return false;
    for (const char c : fields[0]) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    // Plain decimals within their type's range.
    unsigned long numbers[5] = {};
    const unsigned long limits[5] = {0xFFFF, 0xFFFF, 0xFFFFFFFF, SYS_WIN64, 0xFFFFFFFF};
    for (int i = 0; i < 5; ++i) {
        const std::string& text = fields[i + 2];
        if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
        const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
        if (value > limits[i]) return false;
        numbers[i] = static_cast<unsigned long>(value);
    }
    GUID libid{};
    if (fields[1].size() != 38 || FAILED(::IIDFromString(win32::Wide(fields[1]).c_str(), &libid))) return false;
    facts.name = fields[0];
    facts.libid = libid;
    facts.major = static_cast<WORD>(numbers[0]);
    facts.minor = static_cast<WORD>(numbers[1]);
    facts.lcid = numbers[2];
    facts.syskind = static_cast<SYSKIND>(numbers[3]);
    facts.interfaces = static_cast<unsigned>(numbers[4]);
    return true;
}

std::string TypeLibraryDetail(const TypeLibraryFacts& facts) {
    return "Type library " + facts.name + " " + std::to_string(facts.major) + "." + std::to_string(facts.minor) +
           " (" + GuidText(facts.libid) + "), " + std::to_string(facts.interfaces) +
           (facts.interfaces == 1 ? " interface." : " interfaces.");
}

Response ServeTypeLibrary(Request kind, const std::string& text, bool perUser) {
    const win32::ComScope apartment(COINIT_APARTMENTTHREADED);
    HRESULT hr = E_UNEXPECTED;
    if (kind == Request::ProbeTypeLib) {
        TypeLibraryFacts facts;
        hr = ReadTypeLibrary(text, facts);
        if (SUCCEEDED(hr)) {
            Response response = AnswerOf(Answer::Success);
            response.detail = EncodeFacts(facts);
            response.reply.detailBytes = static_cast<std::uint32_t>(response.detail.size());
            return response;
        }
    } else if (kind == Request::CaptureTypeLib) {
        std::string path, scratchKey;
        if (!SplitCaptureText(text, path, scratchKey)) return AnswerOf(Answer::BadRequest);
        ScratchOverrides overrides;
        const DWORD error = overrides.Enter(scratchKey);
        if (error != ERROR_SUCCESS) return AnswerOf(Answer::CaptureFailed, error);
        hr = RegisterTypeLibraryFile(path, false);
    } else {
        hr = kind == Request::RegisterTypeLib ? RegisterTypeLibraryFile(text, perUser)
                                              : UnregisterTypeLibraryFile(text, perUser);
    }
    if (SUCCEEDED(hr)) return AnswerOf(Answer::Success);
    return AnswerOf(Answer::EntryFailed, static_cast<DWORD>(FAILED(hr) ? hr : E_FAIL));
}

}  // namespace runner
