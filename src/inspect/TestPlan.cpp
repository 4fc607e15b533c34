// The class test's items, read from what a component's registration wrote under the classes.
#include "inspect/TestPlan.h"

#include <windows.h>

#include <set>

#include "inspect/CheckFindings.h"
#include "inspect/ComRegistration.h"
#include "inspect/CheckRegistration.h"
#include "win32/Text.h"

namespace check {
namespace {

using runner::TestItem;

std::string Named(std::string label, const std::wstring& name) {
    return name.empty() ? label : label + " (" + Printable(name) + ")";
}

}  // namespace

std::optional<std::array<std::uint8_t, 16>> ParseGuid(std::wstring_view text) {
    // {01234567-0123-0123-0123-0123456789ab}: the first three groups are stored little-endian.
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return std::nullopt;
    const wchar_t* digits = text.data() + 1;
    for (const int dash : {8, 13, 18, 23}) {
        if (digits[dash] != L'-') return std::nullopt;
    }
    const auto byteAt = [&](int position) { return HexNumber(std::wstring_view(digits + position, 2), 2); };
    const int order[16][2] = {{0, 3}, {2, 2}, {4, 1}, {6, 0}, {9, 5}, {11, 4}, {14, 7}, {16, 6},
                              {19, 8}, {21, 9}, {24, 10}, {26, 11}, {28, 12}, {30, 13}, {32, 14}, {34, 15}};
    std::array<std::uint8_t, 16> bytes{};
    for (const auto& [position, index] : order) {
        const auto value = byteAt(position);
        if (!value) return std::nullopt;
        bytes[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(*value);
    }
    return bytes;
}

TestPlan PlanTest(const capture::Capture& capture) {
    const ComRegistration com = ReadComRegistration(capture);
    std::set<std::wstring> proxyStubs;  // upper-case CLSIDs
    for (const ComInterface& entry : com.interfaces) {
        if (!entry.proxyStub.empty()) proxyStubs.insert(UpperCase(entry.proxyStub));
    }
    TestPlan plan;
    for (const ComClass& entry : com.classes) {
        if (entry.server.empty()) continue;  // an out-of-process server's class, say
        if (!entry.ownFile) {
            ++plan.otherFileClasses;
            continue;
        }
        const auto id = ParseGuid(entry.id);
        if (!id) continue;
        TestItem item;
        item.id = *id;
        const bool proxyStub = proxyStubs.count(UpperCase(entry.id)) != 0;
        item.kind = proxyStub ? TestItem::Kind::ProxyStub : TestItem::Kind::Class;
        item.apartment = SameName(entry.threadingModel, L"Free") ? TestItem::Apartment::Multi : TestItem::Apartment::Single;
        const std::wstring& progId = entry.progId.empty() ? entry.versionIndependentProgId : entry.progId;
        const std::wstring& name = progId.empty() ? entry.description : progId;
        plan.items.push_back({item, Named((proxyStub ? "proxy/stub class " : "class ") + win32::Narrow(entry.id), name)});
    }
    for (const ComLibrary& library : com.libraries) {
        const auto id = ParseGuid(library.id);
        if (!id) continue;
        TestItem item;
        item.kind = TestItem::Kind::TypeLib;
        item.id = *id;
        item.major = library.major;
        item.minor = library.minor;
        item.lcid = library.lcid;
        plan.items.push_back({item, Named("type library " + win32::Narrow(library.id) + " " + std::to_string(library.major) +
                                              "." + std::to_string(library.minor),
                                          library.name)});
    }
    return plan;
}

}  // namespace check
