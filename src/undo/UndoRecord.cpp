// Recording the keys a registration names before and after its call: where they lie, how they stand,
// the record of a run, and the .reg file that puts them back.
#include "undo/UndoRecord.h"

#include <algorithm>
#include <functional>
#include <system_error>
#include <thread>

#include "results/RegFile.h"
#include "undo/UndoKeys.h"
#include "win32/Handles.h"
#include "win32/Text.h"

namespace undo {
namespace {

using namespace keys;
using registry::TreeKey;

// Where a captured key is written by a call of this session, below its predefined key.
void Place(capture::Root root, const std::wstring& path, bool perUser, Part& part) {
    switch (root) {
        case capture::Root::Classes:
            part.root = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            part.subKey = L"Software\\Classes\\" + path;
            return;
        case capture::Root::LocalMachine: part.root = HKEY_LOCAL_MACHINE; break;
        case capture::Root::CurrentUser: part.root = HKEY_CURRENT_USER; break;
        case capture::Root::Users: part.root = HKEY_USERS; break;
    }
    part.subKey = path;
}

// Parts enough to be worth a second thread: each reading is round trips to the registry, which serves
// two threads at once.
constexpr std::size_t kPartsForTwoThreads = 8;

// Calls read(part) for every part, every other one on a second thread when there are enough of them,
// all on this one when no thread can be had (or the other could not finish its share).
void ForEachPart(std::vector<Part>& parts, const std::function<void(Part&)>& read) {
    bool otherFailed = false;
    std::thread other;
    if (parts.size() >= kPartsForTwoThreads) {
        try {
            other = std::thread([&] {
                try {
                    for (std::size_t i = 1; i < parts.size(); i += 2) read(parts[i]);
                } catch (...) {  // out of memory: its share is read again here
                    otherFailed = true;
                }
            });
        } catch (const std::system_error&) {
        }
    }
    {
        struct Join {
            std::thread& thread;
            ~Join() {
                if (thread.joinable()) thread.join();
            }
        } join{other};
        for (std::size_t i = 0; i < parts.size(); i += other.joinable() ? 2 : 1) read(parts[i]);
    }
    if (!otherFailed) return;
    for (std::size_t i = 1; i < parts.size(); i += 2) read(parts[i]);
}

}  // namespace

bool ComponentRecord::Changed() const {
    return std::any_of(parts.begin(), parts.end(), [](const Part& part) { return !(part.before == part.after); });
}

std::vector<Part> PartsOf(const capture::Capture& capture, bool perUser, bool unregister) {
    const REGSAM view = capture.machine == IMAGE_FILE_MACHINE_I386 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    std::vector<Part> parts;
    std::vector<std::wstring> wholes;  // the folded names of the whole parts taken
    for (const capture::Key& key : capture.keys) {
        Part part;
        part.name = velquist::PlacedKey(key.root, key.path, capture.machine, perUser);
        const std::wstring folded = registry::Folded(part.name);
        const bool covered = std::any_of(wholes.begin(), wholes.end(), [&](const std::wstring& whole) {
            return folded.size() > whole.size() && folded.compare(0, whole.size(), whole) == 0 &&
                   folded[whole.size()] == L'\\';
        });
        if (covered) continue;
        Place(key.root, key.path, perUser, part);
        part.view = view;
        part.whole = velquist::IsOwnKey(key, capture) || (unregister && (!key.values.empty() || !key.hasSubkeys));
        if (part.whole) {
            wholes.push_back(folded);
        } else {
            for (const capture::Value& value : key.values) part.values.push_back(value.name);
        }
        // The type library's registration writes its interfaces in both views (a proxy of either
        // bitness marshals them), one of them around the capture's redirection: both are recorded.
        const bool anInterface = part.whole && key.root == capture::Root::Classes &&
                                 registry::Folded(key.path).rfind(L"INTERFACE\\", 0) == 0;
        parts.push_back(std::move(part));
        if (anInterface) {
            const std::uint16_t other = capture.machine == IMAGE_FILE_MACHINE_I386 ? IMAGE_FILE_MACHINE_AMD64
                                                                                  : IMAGE_FILE_MACHINE_I386;
            Part mirror = parts.back();
            mirror.name = velquist::PlacedKey(key.root, key.path, other, perUser);
            mirror.view = view == KEY_WOW64_32KEY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
            parts.push_back(std::move(mirror));
        }
    }
    return parts;
}

LONG ReadState(const Part& part, State& state) {
    state = {};
    if (part.whole) {
        const LONG error = registry::ReadTree(part.root, part.subKey, part.view, state.keys);
        state.exists = error == ERROR_SUCCESS;
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    HKEY opened = nullptr;
    const LONG error = ::RegOpenKeyExW(part.root, part.subKey.c_str(), 0, KEY_QUERY_VALUE | part.view, &opened);
    const win32::unique_hkey key(opened);
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    state.exists = true;
    TreeKey self;
    for (const std::wstring& name : part.values) {
        const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
        // One question for a value that fits the first guess, as most do; a larger one is asked again.
        DWORD type = 0, size = 256;
        std::string data;
        LONG read = ERROR_MORE_DATA;
        while (read == ERROR_MORE_DATA) {
            data.resize(size);
            read = ::RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        }
        if (read == ERROR_FILE_NOT_FOUND) continue;
        if (read != ERROR_SUCCESS) return read;
        data.resize(size);
        self.values.push_back({name, type, std::move(data)});
    }
    state.keys.push_back(std::move(self));
    return ERROR_SUCCESS;
}

bool UndoText(const std::vector<ComponentRecord>& records, std::wstring& text) {
    const auto oneLine = [](const std::wstring& line) {
        return line.find_first_of(std::wstring_view(L"\r\n\0", 3)) == std::wstring::npos;
    };
    text = L"Windows Registry Editor Version 5.00\r\n\r\n; Puts back what a Velquist run changed, the last "
           L"component first.\r\n";
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        text += L"\r\n; " + win32::Wide(record->path) + L"\r\n";
        for (auto part = record->parts.rbegin(); part != record->parts.rend(); ++part) {
            if (record->ended && part->before == part->after) continue;
            if (!oneLine(part->name)) return false;
            if (part->whole || !part->before.exists) text += L"\r\n[-" + part->name + L"]\r\n";
            if (!part->before.exists) continue;
            for (const TreeKey& key : part->before.keys) {
                const std::wstring name = Below(part->name, key.path);
                if (!oneLine(name)) return false;
                text += L"\r\n[" + name + L"]\r\n";
                for (const capture::Value& value : key.values) {
                    if (!oneLine(value.name)) return false;
                    text += velquist::ValueLine(value) + L"\r\n";
                }
                if (part->whole) continue;
                for (const std::wstring& watched : part->values) {  // the ones that were not there
                    if (ValueIn(&key, watched) == nullptr) text += velquist::DeletedValueLine(watched) + L"\r\n";
                }
            }
        }
    }
    text += L"\r\n";
    return true;
}

bool RunRecord::Begin(const std::string& path, const capture::Capture* captured, bool perUser, bool unregister,
                      std::string& why) {
    ComponentRecord record;
    record.path = path;
    record.captured = captured != nullptr;
    if (captured != nullptr) record.parts = PartsOf(*captured, perUser, unregister);
    std::vector<LONG> errors(record.parts.size(), ERROR_SUCCESS);
    ForEachPart(record.parts, [&](Part& part) {
        errors[static_cast<std::size_t>(&part - record.parts.data())] = ReadState(part, part.before);
        part.after = part.before;  // until End: a call that never returns changed nothing we know of
    });
    for (std::size_t i = 0; i < errors.size(); ++i) {
        if (errors[i] == ERROR_SUCCESS) continue;
        why = "Not called: " + win32::Narrow(record.parts[i].name) + " could not be read for the undo record (error " +
              std::to_string(errors[i]) + ").";
        return false;
    }
    components_.push_back(std::move(record));
    if (Grew(why)) return true;
    components_.pop_back();
    return false;
}

void RunRecord::End() {
    if (components_.empty()) return;
    components_.back().ended = true;
    ForEachPart(components_.back().parts, [](Part& part) {
        // A part that cannot be read now is taken as the call left it unknown: as it was before, so
        // that nothing of it is put back over what may be the call's.
        if (ReadState(part, part.after) != ERROR_SUCCESS) part.after = part.before;
    });
    std::string why;
    Grew(why);
}

bool RunRecord::Changed() const {
    return std::any_of(components_.begin(), components_.end(), [](const ComponentRecord& c) { return c.Changed(); });
}

}  // namespace undo
