// Putting a recorded part back: the states before the call, after it and now, compared key by key
// and value by value.
#include "undo/UndoRecord.h"

#include <algorithm>

#include "undo/UndoKeys.h"
#include "win32/Handles.h"

namespace undo {
namespace {

using namespace keys;

// The writes of one part's putting back, each key opened in the part's view.
class Writer {
public:
    Writer(const Part& part, UndoOutcome& outcome) : part_(part), outcome_(outcome) {}

    void Put(const std::wstring& path, const std::wstring& name, const capture::Value* value) {
        HKEY opened = nullptr;
        LONG error = ::RegCreateKeyExW(part_.root, Below(part_.subKey, path).c_str(), 0, nullptr, 0,
                                       KEY_SET_VALUE | part_.view, nullptr, &opened, nullptr);
        const win32::unique_hkey key(opened);
        if (error == ERROR_SUCCESS) {
            const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
            error = value == nullptr ? ::RegDeleteValueW(key.get(), valueName)
                                     : ::RegSetValueExW(key.get(), valueName, 0, value->type,
                                                        reinterpret_cast<const BYTE*>(value->data.data()),
                                                        static_cast<DWORD>(value->data.size()));
            if (error == ERROR_FILE_NOT_FOUND && value == nullptr) error = ERROR_SUCCESS;
        }
        Note(error);
    }

    void Make(const std::wstring& path) {
        HKEY opened = nullptr;
        Note(::RegCreateKeyExW(part_.root, Below(part_.subKey, path).c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | part_.view,
                               nullptr, &opened, nullptr));
        const win32::unique_hkey key(opened);
    }

    // Deletes the key when it holds nothing; false when it holds something (it is then left).
    bool RemoveIfEmpty(const std::wstring& path) {
        const std::wstring full = Below(part_.subKey, path);
        HKEY opened = nullptr;
        if (::RegOpenKeyExW(part_.root, full.c_str(), 0, KEY_QUERY_VALUE | part_.view, &opened) != ERROR_SUCCESS) {
            return true;  // gone already
        }
        const win32::unique_hkey key(opened);
        DWORD subkeys = 0, values = 0;
        if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subkeys != 0 || values != 0) {
            return false;
        }
        Note(::RegDeleteKeyExW(part_.root, full.c_str(), part_.view, 0));
        return true;
    }

private:
    void Note(LONG error) {
        if (error != ERROR_SUCCESS && outcome_.error == ERROR_SUCCESS) outcome_.error = error;
    }
    const Part& part_;
    UndoOutcome& outcome_;
};

// Every value name of either key, each once.
std::vector<std::wstring> NamesOf(const TreeKey* a, const TreeKey* b) {
    std::vector<std::wstring> names;
    if (a != nullptr) {
        for (const capture::Value& value : a->values) names.push_back(value.name);
    }
    if (b != nullptr) {
        for (const capture::Value& value : b->values) {
            if (ValueIn(a, value.name) == nullptr) names.push_back(value.name);
        }
    }
    return names;
}

// Whether something at or below the key is among the names.
bool NamedWithin(const std::vector<std::wstring>& names, const std::wstring& key) {
    const std::wstring folded = registry::Folded(key);
    return std::any_of(names.begin(), names.end(), [&](const std::wstring& name) {
        const std::wstring other = registry::Folded(name);
        return other.size() > folded.size() && other.compare(0, folded.size(), folded) == 0 &&
               (other[folded.size()] == L'\\' || other[folded.size()] == L',');
    });
}

// Puts one part back, given how it stands now: three states of every key and value compared.
void PutBack(const Part& part, const State& now, UndoOutcome& outcome) {
    const Keys before = IndexOf(part.before);
    const Keys after = IndexOf(part.after);
    const Keys current = IndexOf(now);
    Writer writer(part, outcome);
    const auto leftKey = [&](const std::wstring& path) { outcome.leftAsIs.push_back(Below(part.name, path)); };
    const auto leftValue = [&](const std::wstring& path, const std::wstring& name) {
        outcome.leftAsIs.push_back(Below(part.name, path) + L", value " + (name.empty() ? L"(default)" : name));
    };
    // What was there before: each value as it was, where the run's own value (or its deletion) is
    // still what the key holds.
    for (const TreeKey& was : part.before.keys) {
        const TreeKey* left = Find(after, was.path);
        const TreeKey* is = Find(current, was.path);
        if (is == nullptr && left != nullptr) {
            leftKey(was.path);  // deleted since the run
            continue;
        }
        if (is == nullptr) writer.Make(was.path);
        for (const std::wstring& name : NamesOf(&was, left)) {
            const capture::Value* then = ValueIn(&was, name);
            const capture::Value* ran = ValueIn(left, name);
            const capture::Value* present = ValueIn(is, name);
            if (!Same(present, ran)) {
                if (!Same(present, then)) leftValue(was.path, name);
                continue;
            }
            if (!Same(present, then)) writer.Put(was.path, name, then);
        }
    }
    // What the run made: its values deleted where they are as it left them, then each key that is
    // empty again, the deepest first.
    for (auto made = part.after.keys.rbegin(); made != part.after.keys.rend(); ++made) {
        if (Find(before, made->path) != nullptr) continue;
        const TreeKey* is = Find(current, made->path);
        if (is == nullptr) continue;
        for (const capture::Value& value : made->values) {
            const capture::Value* present = ValueIn(is, value.name);
            if (Same(present, &value)) {
                writer.Put(made->path, value.name, nullptr);
            } else if (present != nullptr) {
                leftValue(made->path, value.name);
            }
        }
        // A key kept for what is left in it is named only when nothing in it was named already.
        if (!writer.RemoveIfEmpty(made->path) && !NamedWithin(outcome.leftAsIs, Below(part.name, made->path))) {
            leftKey(made->path);
        }
    }
}

}  // namespace

UndoOutcome Undo(const ComponentRecord& record) {
    UndoOutcome outcome;
    // The deepest parts first, so that a key the run made is empty by the time its parent's turn comes.
    for (auto part = record.parts.rbegin(); part != record.parts.rend(); ++part) {
        if (part->before == part->after) continue;
        State now;
        const LONG error = ReadState(*part, now);
        if (error != ERROR_SUCCESS) {
            if (outcome.error == ERROR_SUCCESS) outcome.error = error;
            continue;
        }
        PutBack(*part, now, outcome);
    }
    return outcome;
}

std::vector<ComponentRecord> Pending(const std::vector<ComponentRecord>& records) {
    std::vector<ComponentRecord> pending;
    std::vector<std::wstring> changed;  // the folded names of parts something changed since the run
    for (const ComponentRecord& record : records) {
        ComponentRecord left{record.path, record.captured, record.ended, {}};
        for (const Part& part : record.parts) {
            if (part.before == part.after) continue;
            State now;
            const bool read = ReadState(part, now) == ERROR_SUCCESS;
            if (read && now == part.after) {
                left.parts.push_back(part);
            } else if (!read || !(now == part.before)) {
                changed.push_back(registry::Folded(part.name));
            }
        }
        if (!left.parts.empty()) pending.push_back(std::move(left));
    }
    // A part whose putting back deletes its key with all below it (a key the run made, or one taken
    // whole) stays out where that would take a part changed since with it.
    const auto holdsChanged = [&](const Part& part) {
        if (!part.whole && part.before.exists) return false;
        const std::wstring folded = registry::Folded(part.name);
        return std::any_of(changed.begin(), changed.end(), [&](const std::wstring& name) {
            return name == folded ||
                   (name.size() > folded.size() && name.compare(0, folded.size(), folded) == 0 && name[folded.size()] == L'\\');
        });
    };
    for (ComponentRecord& record : pending) {
        record.parts.erase(std::remove_if(record.parts.begin(), record.parts.end(), holdsChanged), record.parts.end());
    }
    pending.erase(std::remove_if(pending.begin(), pending.end(), [](const ComponentRecord& r) { return r.parts.empty(); }),
                  pending.end());
    return pending;
}

}  // namespace undo
