// What the registration check found for each captured key and value, and the detail texts made from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/Capture.h"

namespace check {

// The classes hive a key was found in; outside the classes, the captured root's own.
enum class Hive { MachineClasses, UserClasses, Other };

enum class State {
    There,      // as captured (a file value naming this file)
    Missing,    // no such key or value
    Different,  // other data (or another file, outside the classes and type libraries)
    Elsewhere,  // a class's or type library's file value names another file
};

// One captured value, or one captured empty leaf key (value nullptr: it need only exist).
struct Finding {
    const capture::Key* key = nullptr;
    const capture::Value* value = nullptr;
    State state = State::Missing;
    Hive hive = Hive::Other;
    std::string here;      // Different: the machine's data as shown to users; Elsewhere: the other path
    std::string expected;  // Different: the captured data as shown to users
};

// A stored string value's UTF-16LE bytes as text, without the terminator (or other trailing NULs).
std::wstring TextOf(const std::string& bytes);
// Text from the registry or the capture as a detail shows it: bounded, control characters as spaces,
// in the program's code page.
std::string Printable(std::wstring text);
// Registry names compared as the registry does: ordinal, case ignored.
bool SameName(std::wstring_view a, std::wstring_view b);

// Whether the key lies below the classes' key `prefix` (L"CLSID\\"); a class's key or one below it.
bool IsBelow(const capture::Key& key, std::wstring_view prefix);
inline bool IsClassKey(const capture::Key& key) { return IsBelow(key, L"CLSID\\"); }

// The files that the findings pointing elsewhere name, each once: the classes' servers, which name
// the other copy; a type library's files only where no class points elsewhere.
std::vector<std::string> OtherFiles(const std::vector<Finding>& classes);

// The sentences of each verdict. `classes` are the findings under the classes, `outside` the rest.
std::string ElsewhereDetail(const capture::Capture& capture, const std::vector<Finding>& classes);
std::string PartlyDetail(const std::vector<Finding>& classes);
std::string NotRegisteredDetail(std::size_t count);
std::string HereDetail(std::uint16_t machine, const std::vector<Finding>& classes);
// "" when nothing was captured outside the classes.
std::string OutsideDetail(const std::vector<Finding>& outside);

}  // namespace check
