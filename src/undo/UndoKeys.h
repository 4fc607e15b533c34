// The keys of recorded states, looked up as the registry looks names up (case ignored).
#pragma once

#include <map>
#include <string>

#include "undo/UndoRecord.h"

namespace undo::keys {

using registry::TreeKey;
using Keys = std::map<std::wstring, const TreeKey*>;  // by folded path below the part's key

inline Keys IndexOf(const State& state) {
    Keys keys;
    for (const TreeKey& key : state.keys) keys.emplace(registry::Folded(key.path), &key);
    return keys;
}

inline const TreeKey* Find(const Keys& keys, const std::wstring& path) {
    const auto found = keys.find(registry::Folded(path));
    return found == keys.end() ? nullptr : found->second;
}

inline const capture::Value* ValueIn(const TreeKey* key, const std::wstring& name) {
    if (key == nullptr) return nullptr;
    const std::wstring folded = registry::Folded(name);
    for (const capture::Value& value : key->values) {
        if (registry::Folded(value.name) == folded) return &value;
    }
    return nullptr;
}

inline bool Same(const capture::Value* a, const capture::Value* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return a->type == b->type && a->data == b->data;
}

inline std::wstring Below(const std::wstring& key, const std::wstring& path) { return path.empty() ? key : key + L"\\" + path; }

}  // namespace undo::keys
