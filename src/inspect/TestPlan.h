// What a class test of a captured registration makes: the in-process classes it registers for its own
// file, its proxy/stub classes and its type libraries, each as a runner is asked for it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/Capture.h"
#include "runner/TestItems.h"

namespace check {

struct PlannedItem {
    runner::TestItem item;
    std::string label;  // for users: "class {CLSID} (ProgID)", "type library {LIBID} 1.0 (name)"
};

struct TestPlan {
    std::vector<PlannedItem> items;  // in the order the capture wrote them: classes first, then libraries
    unsigned otherFileClasses = 0;   // in-process classes whose InprocServer32 names another file: not made
};

// The classes whose InprocServer32 names the capture's own file (made in the apartment their
// ThreadingModel asks for; a class that serves some interface's ProxyStubClsid32 as a proxy/stub
// factory), and every type library version and locale it registers (the key names read as the system
// reads them: "1.a" is version 1.10, the locale in hexadecimal).
TestPlan PlanTest(const capture::Capture& capture);

// A registry GUID's text "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" as a GUID's bytes in memory.
std::optional<std::array<std::uint8_t, 16>> ParseGuid(std::wstring_view text);

}  // namespace check
