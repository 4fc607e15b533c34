// The undo record of a register or unregister run: for each component, the keys and values its
// registration names, read where its call writes them before the call and again after it, so that
// the registry can be put back as it was, leaving alone whatever something else changed since.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "inspect/Capture.h"
#include "inspect/RegistryTree.h"

namespace undo {

// How a part of the registry stood: whether its key was there, and what it held (a whole part: the
// key and everything below it, as registry::ReadTree reads it; a part of values: the key alone, path
// L"", with only the values watched that were there).
struct State {
    bool exists = false;
    std::vector<registry::TreeKey> keys;
    friend bool operator==(const State&, const State&) = default;
};

// One key a registration names, where the call writes it.
struct Part {
    HKEY root = HKEY_LOCAL_MACHINE;  // HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS
    std::wstring subKey;             // below root, in `view`: L"SOFTWARE\\Classes\\CLSID\\{...}"
    REGSAM view = 0;                 // KEY_WOW64_32KEY or KEY_WOW64_64KEY: the component's
    std::wstring name;               // its full name as regedit names it (a 32-bit one's under WOW6432Node)
    bool whole = true;               // the key and all below it; else the key's `values` alone
    std::vector<std::wstring> values;
    State before, after;
};

// One component of the run.
struct ComponentRecord {
    std::string path;
    bool captured = true;  // false: what it registers could not be read beforehand; nothing is recorded
    bool ended = false;    // its call returned and `after` was read; until then every part counts as changed
    std::vector<Part> parts;
    // Whether its call changed anything the record holds.
    bool Changed() const;
};

// The parts of what a capture registers, placed where a call of this session writes them (the user's
// classes when perUser): the keys the component owns outright whole, and every other key it writes
// with the values it writes. An unregister run (which may delete such a key with what lies below it)
// takes those whole too.
std::vector<Part> PartsOf(const capture::Capture& capture, bool perUser, bool unregister);

// How the part stands now. ERROR_SUCCESS, or the system error that kept it from being read.
LONG ReadState(const Part& part, State& state);

// What putting a component back did: the keys and values left as they were because something else
// changed them since the run (each "HKEY_...\KEY" or "HKEY_...\KEY, value NAME"), and the first
// write the registry refused (ERROR_SUCCESS for none).
struct UndoOutcome {
    std::vector<std::wstring> leftAsIs;
    LONG error = ERROR_SUCCESS;
};

// Puts each part back as it was before the call, where it still is as the call left it.
UndoOutcome Undo(const ComponentRecord& record);

// What of the records is still to be put back: each part still as its call left it (neither put back
// nor changed since), in its component, unless putting it back would delete a key that holds a part
// changed since; a component with no such part left out.
std::vector<ComponentRecord> Pending(const std::vector<ComponentRecord>& records);

// The .reg text that puts the components back as they were before their calls when imported, the
// last component first. False when some name holds a line break or NUL, which a .reg file cannot hold.
bool UndoText(const std::vector<ComponentRecord>& records, std::wstring& text);

// The record of one run as it goes: a component's parts read before its call (Begin) and again after
// it, whatever the call's outcome (End). Its owner may keep a copy of it somewhere as it grows (Grew).
class RunRecord {
public:
    virtual ~RunRecord() = default;
    RunRecord() = default;
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // Before a component's call: what its capture names (nullptr: it could not be captured), as it
    // stands now. False when that could not be read or kept, with `why` saying so: the component is
    // then not to be called.
    bool Begin(const std::string& path, const capture::Capture* captured, bool perUser, bool unregister,
               std::string& why);
    // After the call Begin allowed.
    void End();
    void Clear() noexcept { components_.clear(); }
    const std::vector<ComponentRecord>& Components() const noexcept { return components_; }
    // Whether some call changed something the record holds.
    bool Changed() const;
    // The closing line's last sentence after a run that changed something: where the way back is.
    virtual std::string WayBack() const = 0;

protected:
    // After each Begin and End, with the record as it now is: false, with `why`, when it cannot be
    // kept (the run goes no further).
    virtual bool Grew(std::string& /*why*/) { return true; }

private:
    std::vector<ComponentRecord> components_;
};

}  // namespace undo
