// Reading a registry tree whole, and putting one back as it was read.
#include "inspect/RegistryTree.h"

#include <algorithm>
#include <map>
#include <set>

#include "win32/Handles.h"

namespace registry {
namespace {

// The registry's own bound on key depth.
constexpr int kMaxDepth = 512;

std::wstring Join(const std::wstring& parent, const std::wstring& name) {
    return parent.empty() ? name : parent + L'\\' + name;
}

LONG Open(HKEY root, const std::wstring& subKey, REGSAM access, win32::unique_hkey& key) {
    HKEY opened = nullptr;
    const LONG error = ::RegOpenKeyExW(root, subKey.c_str(), 0, access, &opened);
    key.reset(opened);
    return error;
}

// The key's values, and the names of its subkeys, from one query of what it holds: a key without
// values or subkeys costs that query alone.
LONG ReadKey(HKEY key, std::vector<capture::Value>& values, std::vector<std::wstring>& subkeys) {
    DWORD subkeyCount = 0, count = 0, maxName = 0, maxData = 0;
    LONG error = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeyCount, nullptr, nullptr, &count, &maxName,
                                    &maxData, nullptr, nullptr);
    if (error != ERROR_SUCCESS) return error;
    std::wstring name(maxName + 1, L'\0');
    std::string data(maxData, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        error = ::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (error == ERROR_NO_MORE_ITEMS) break;
        if (error == ERROR_MORE_DATA) {  // grew while we read: read it again, larger
            name.resize(name.size() * 2 + 256);
            data.resize(data.size() * 2 + 256);
            --i;
            continue;
        }
        if (error != ERROR_SUCCESS) return error;
        values.push_back({name.substr(0, nameLength), type, data.substr(0, dataSize)});
    }
    // As many names as were counted, and any added since then: the end is the system's answer, not the count.
    wchar_t subkey[256];  // a key name has at most 255 characters
    for (DWORD i = 0; subkeyCount > 0; ++i) {
        DWORD length = static_cast<DWORD>(std::size(subkey));
        error = ::RegEnumKeyExW(key, i, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) break;
        if (error != ERROR_SUCCESS) return error;
        subkeys.emplace_back(subkey, length);
    }
    return ERROR_SUCCESS;
}

LONG ReadBelow(HKEY key, const std::wstring& path, int depth, std::vector<TreeKey>& keys) {
    TreeKey self{path, {}};
    std::vector<std::wstring> names;
    LONG error = ReadKey(key, self.values, names);
    if (error != ERROR_SUCCESS) return error;
    keys.push_back(std::move(self));
    if (depth >= kMaxDepth) return ERROR_SUCCESS;
    for (const std::wstring& child : names) {
        win32::unique_hkey sub;
        error = Open(key, child, KEY_READ, sub);
        if (error == ERROR_FILE_NOT_FOUND) continue;  // gone since it was listed
        if (error != ERROR_SUCCESS) return error;
        error = ReadBelow(sub.get(), Join(path, child), depth + 1, keys);
        if (error != ERROR_SUCCESS) return error;
    }
    return ERROR_SUCCESS;
}

bool Below(const std::wstring& folded, const std::wstring& ancestorFolded) {
    return folded.size() > ancestorFolded.size() && folded.compare(0, ancestorFolded.size(), ancestorFolded) == 0 &&
           folded[ancestorFolded.size()] == L'\\';
}

LONG PutValues(HKEY key, const std::vector<capture::Value>& wanted, const std::vector<capture::Value>& present) {
    LONG first = ERROR_SUCCESS;
    const auto note = [&first](LONG error) {
        if (error != ERROR_SUCCESS && first == ERROR_SUCCESS) first = error;
    };
    for (const capture::Value& value : present) {
        const bool kept = std::any_of(wanted.begin(), wanted.end(), [&](const capture::Value& w) {
            return Folded(w.name) == Folded(value.name);
        });
        if (!kept) note(::RegDeleteValueW(key, value.name.empty() ? nullptr : value.name.c_str()));
    }
    for (const capture::Value& value : wanted) {
        const bool same = std::find(present.begin(), present.end(), value) != present.end();
        if (same) continue;
        note(::RegSetValueExW(key, value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                              reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size())));
    }
    return first;
}

}  // namespace

std::wstring Folded(const std::wstring& path) {
    std::wstring folded = path;
    if (!folded.empty()) {
        ::CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    }
    return folded;
}

LONG ReadTree(HKEY root, const std::wstring& subKey, REGSAM view, std::vector<TreeKey>& keys) {
    keys.clear();
    win32::unique_hkey key;
    const LONG error = Open(root, subKey, KEY_READ | view, key);
    if (error != ERROR_SUCCESS) return error;
    return ReadBelow(key.get(), L"", 0, keys);
}

LONG RestoreTree(HKEY root, const std::wstring& subKey, REGSAM view, const std::vector<TreeKey>& keys) {
    std::vector<TreeKey> present;
    LONG error = ReadTree(root, subKey, view, present);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return error;

    std::set<std::wstring> wanted;
    for (const TreeKey& key : keys) wanted.insert(Folded(key.path));
    std::map<std::wstring, const TreeKey*> found;
    std::vector<std::wstring> extra;  // keys that were not there, each the top of what goes
    for (const TreeKey& key : present) {
        const std::wstring folded = Folded(key.path);
        if (!extra.empty() && Below(folded, Folded(extra.back()))) continue;
        if (wanted.count(folded) == 0) {
            extra.push_back(key.path);
        } else {
            found.emplace(folded, &key);
        }
    }
    std::vector<const TreeKey*> changed;  // keys missing, or with other values
    for (const TreeKey& key : keys) {
        const auto same = found.find(Folded(key.path));
        if (same == found.end() || same->second->values != key.values) changed.push_back(&key);
    }
    if (extra.empty() && changed.empty()) return ERROR_SUCCESS;

    // All the writing goes through one handle opened in the view, so every path below it is in it too.
    if (keys.empty()) {  // the key itself was not there
        win32::unique_hkey parent;
        const auto split = subKey.find_last_of(L'\\');
        error = Open(root, split == std::wstring::npos ? L"" : subKey.substr(0, split), KEY_ALL_ACCESS | view, parent);
        if (error != ERROR_SUCCESS) return error;
        return ::RegDeleteTreeW(parent.get(), split == std::wstring::npos ? subKey.c_str() : subKey.c_str() + split + 1);
    }
    HKEY created = nullptr;
    error = ::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &created, nullptr);
    const win32::unique_hkey base(created);
    if (error != ERROR_SUCCESS) return error;
    LONG first = ERROR_SUCCESS;
    const auto note = [&first](LONG e) {
        if (e != ERROR_SUCCESS && first == ERROR_SUCCESS) first = e;
    };
    for (const std::wstring& path : extra) note(::RegDeleteTreeW(base.get(), path.c_str()));
    const std::vector<capture::Value> none;
    for (const TreeKey* key : changed) {
        HKEY opened = nullptr;
        if (key->path.empty()) {
            error = ::RegOpenKeyExW(base.get(), nullptr, 0, KEY_ALL_ACCESS, &opened);
        } else {
            error = ::RegCreateKeyExW(base.get(), key->path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                                      nullptr);
        }
        const win32::unique_hkey owner(opened);
        if (error != ERROR_SUCCESS) {
            note(error);
            continue;
        }
        const auto same = found.find(Folded(key->path));
        note(PutValues(opened, key->values, same != found.end() ? same->second->values : none));
    }
    return first;
}

}  // namespace registry
