// What a class test makes of a captured registration: which classes, in which apartment, which
// libraries at which version; and the GUID reader it uses.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <string>

#include "inspect/TestPlan.h"
#include "runner/TestItems.h"

namespace {

using runner::TestItem;

capture::Value Text(const std::wstring& name, const std::wstring& text) {
    const std::wstring stored = text + L'\0';
    return {name, REG_SZ, std::string(reinterpret_cast<const char*>(stored.data()), stored.size() * sizeof(wchar_t))};
}

capture::Key Classes(const std::wstring& path, std::vector<capture::Value> values = {}) {
    return {capture::Root::Classes, path, std::move(values), false};
}

std::array<std::uint8_t, 16> Id(const wchar_t* text) {
    GUID guid{};
    ::CLSIDFromString(text, &guid);
    std::array<std::uint8_t, 16> bytes{};
    std::memcpy(bytes.data(), &guid, sizeof guid);
    return bytes;
}

TEST(TestPlan, ClassesOfItsOwnFileInTheirApartmentsThenEachLibraryVersion) {
    const std::wstring a = L"{11111111-2222-3333-4444-555555555501}", b = L"{11111111-2222-3333-4444-555555555502}",
                       ps = L"{11111111-2222-3333-4444-555555555503}", other = L"{11111111-2222-3333-4444-555555555504}",
                       lib = L"{11111111-2222-3333-4444-5555555555AA}";
    capture::Capture capture;
    capture.file = "C:\\App\\thing.dll";
    capture.keys = {
        Classes(L"CLSID\\" + a, {Text(L"", L"Thing")}),
        Classes(L"CLSID\\" + a + L"\\InprocServer32", {Text(L"", L"C:\\APP\\THING.DLL"), Text(L"ThreadingModel", L"Apartment")}),
        Classes(L"CLSID\\" + a + L"\\ProgID", {Text(L"", L"App.Thing.1")}),
        Classes(L"CLSID\\" + b + L"\\InprocServer32", {Text(L"", L"\"C:\\App\\thing.dll\""), Text(L"ThreadingModel", L"free")}),
        Classes(L"CLSID\\" + ps + L"\\InprocServer32", {Text(L"", L"C:\\App\\thing.dll"), Text(L"ThreadingModel", L"Both")}),
        Classes(L"Interface\\{11111111-2222-3333-4444-5555555555BB}\\ProxyStubClsid32", {Text(L"", ps)}),
        Classes(L"CLSID\\" + other + L"\\InprocServer32", {Text(L"", L"C:\\Windows\\System32\\oleaut32.dll")}),
        Classes(L"CLSID\\{11111111-2222-3333-4444-555555555505}\\LocalServer32", {Text(L"", L"C:\\App\\thing.exe")}),
        Classes(L"TypeLib\\" + lib + L"\\1.a", {Text(L"", L"Thing library")}),
        Classes(L"TypeLib\\" + lib + L"\\1.a\\409\\win32", {Text(L"", L"C:\\App\\thing.tlb")}),
        Classes(L"TypeLib\\" + lib + L"\\1.a\\409\\win64", {Text(L"", L"C:\\App\\thing64.tlb")}),
        Classes(L"TypeLib\\" + lib + L"\\1.a\\FLAGS", {Text(L"", L"0")}),
        {capture::Root::LocalMachine, L"Software\\App", {Text(L"", L"C:\\App\\thing.dll")}, false},
    };
    const check::TestPlan plan = check::PlanTest(capture);
    ASSERT_EQ(plan.items.size(), 4u);
    const struct {
        TestItem::Kind kind;
        TestItem::Apartment apartment;
        std::wstring id;
        std::string label;
    } expected[] = {
        {TestItem::Kind::Class, TestItem::Apartment::Single, a, "class {11111111-2222-3333-4444-555555555501} (App.Thing.1)"},
        {TestItem::Kind::Class, TestItem::Apartment::Multi, b, "class {11111111-2222-3333-4444-555555555502}"},
        {TestItem::Kind::ProxyStub, TestItem::Apartment::Single, ps, "proxy/stub class {11111111-2222-3333-4444-555555555503}"},
        {TestItem::Kind::TypeLib, TestItem::Apartment::Single, lib,
         "type library {11111111-2222-3333-4444-5555555555AA} 1.10 (Thing library)"},
    };
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
        SCOPED_TRACE(expected[i].label);
        EXPECT_EQ(plan.items[i].item.kind, expected[i].kind);
        EXPECT_EQ(plan.items[i].item.apartment, expected[i].apartment);
        EXPECT_EQ(plan.items[i].item.id, Id(expected[i].id.c_str()));
        EXPECT_EQ(plan.items[i].label, expected[i].label);
    }
    // "1.a" is version 1.10, the locale hexadecimal; one library for both platforms' keys.
    EXPECT_EQ(plan.items[3].item.major, 1);
    EXPECT_EQ(plan.items[3].item.minor, 10);
    EXPECT_EQ(plan.items[3].item.lcid, 0x409u);
    EXPECT_EQ(plan.otherFileClasses, 1u);
}

TEST(TestPlan, OnlyWellFormedGuidsAreRead) {
    EXPECT_EQ(check::ParseGuid(L"{00020400-0000-0000-C000-000000000046}"), Id(L"{00020400-0000-0000-C000-000000000046}"));
    EXPECT_EQ(check::ParseGuid(L"{00020400-0000-0000-c000-000000000046}"), Id(L"{00020400-0000-0000-C000-000000000046}"));
    for (const wchar_t* bad : {L"00020400-0000-0000-C000-000000000046", L"{00020400-0000-0000-C000-00000000004}",
                               L"{00020400+0000-0000-C000-000000000046}", L"{0002040G-0000-0000-C000-000000000046}", L""}) {
        EXPECT_FALSE(check::ParseGuid(bad).has_value()) << bad;
    }
}

TEST(TestItems, TheyTravelWholeOrNotAtAll) {
    TestItem library;
    library.kind = TestItem::Kind::TypeLib;
    library.id = Id(L"{00020430-0000-0000-C000-000000000046}");
    library.major = 2;
    library.minor = 10;
    library.lcid = 0x409;
    TestItem free;
    free.apartment = TestItem::Apartment::Multi;
    const std::string text = runner::TestText("C:\\a.dll", {library, free});
    std::string path;
    std::vector<TestItem> items;
    ASSERT_TRUE(runner::SplitTestText(text, path, items));
    EXPECT_EQ(path, "C:\\a.dll");
    EXPECT_EQ(items, (std::vector<TestItem>{library, free}));
    std::string badKind = text;
    badKind[path.size() + 1] = 7;
    for (const std::string& bad : {text.substr(0, text.size() - 1), runner::TestText("C:\\a.dll", {}),
                                   text.substr(path.size()), badKind}) {
        EXPECT_FALSE(runner::SplitTestText(bad, path, items)) << bad.size();
    }
}

}  // namespace
