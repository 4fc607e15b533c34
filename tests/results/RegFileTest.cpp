// The .reg files: value lines of every type, regedit's wrapping, key placement, both texts, the saved
// file, and reg.exe importing what was written.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "results/RegFile.h"
#include "results/RegImport.h"
#include "win32/Handles.h"
#include "win32/Paths.h"

namespace capture {
// Failures show a value's type and bytes.
void PrintTo(const Value& value, std::ostream* out) {
    *out << "type " << value.type << ", " << value.data.size() << " bytes:";
    for (const char c : value.data) *out << ' ' << std::hex << (static_cast<unsigned>(c) & 0xFF) << std::dec;
}
}  // namespace capture

namespace {

using capture::Capture;
using capture::Root;
using capture::Value;

constexpr std::uint16_t kI386 = 0x14c;
constexpr std::uint16_t kAmd64 = 0x8664;
constexpr wchar_t kGuid[] = L"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
constexpr wchar_t kLibGuid[] = L"{11111111-2222-3333-4444-555555555555}";

// The bytes of UTF-16 text as the registry stores them (little-endian).
std::string Utf16(std::wstring_view text) {
    std::string bytes;
    for (const wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}
Value Sz(std::wstring name, std::wstring_view text) {
    return {std::move(name), REG_SZ, Utf16(std::wstring(text) + L'\0')};
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (size_t start = 0;;) {
        const size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 2;
    }
}

TEST(RegFile, ValueLinesAreWrittenAsRegeditWritesThem) {
    const struct {
        const char* what;
        Value value;
        std::wstring line;
    } cases[] = {
        {"plain string", Sz(L"ThreadingModel", L"Apartment"), LR"("ThreadingModel"="Apartment")"},
        {"default value", Sz(L"", L"C:\\x.dll"), LR"(@="C:\\x.dll")"},
        {"quote and backslash", Sz(L"a\"b\\c", L"d \"e\"\\"), LR"("a\"b\\c"="d \"e\"\\")"},
        {"CR in a string", Sz(L"s", L"a\rb"), LR"("s"=hex(1):61,00,0d,00,62,00,00,00)"},
        {"LF in a string", Sz(L"s", L"a\nb"), LR"("s"=hex(1):61,00,0a,00,62,00,00,00)"},
        {"NUL in a string", Sz(L"s", std::wstring(L"a\0b", 3)), LR"("s"=hex(1):61,00,00,00,62,00,00,00)"},
        {"no terminator", {L"s", REG_SZ, Utf16(L"ab")}, LR"("s"=hex(1):61,00,62,00)"},
        {"odd byte count", {L"s", REG_SZ, std::string("a\0\0\0\0", 5)}, LR"("s"=hex(1):61,00,00,00,00)"},
        {"empty string data", {L"s", REG_SZ, ""}, LR"("s"=hex(1):)"},
        {"dword", {L"d", REG_DWORD, "\xef\xbe\xad\xde"}, LR"("d"=dword:deadbeef)"},
        {"short dword", {L"d", REG_DWORD, "\x01\x02\x03"}, LR"("d"=hex(4):01,02,03)"},
        {"qword", {L"q", REG_QWORD, std::string("\x01\0\0\0\0\0\0\xff", 8)}, LR"("q"=hex(b):01,00,00,00,00,00,00,ff)"},
        {"expand string",
         {L"e", REG_EXPAND_SZ, Utf16(std::wstring(L"%A%\0", 4))},
         LR"("e"=hex(2):25,00,41,00,25,00,00,00)"},
        {"multi string",
         {L"m", REG_MULTI_SZ, Utf16(std::wstring(L"a\0b\0\0", 5))},
         LR"("m"=hex(7):61,00,00,00,62,00,00,00,00,00)"},
        {"binary", {L"b", REG_BINARY, std::string("\x00\xAB\x10", 3)}, LR"("b"=hex:00,ab,10)"},
        {"none", {L"n", REG_NONE, "\x01"}, LR"("n"=hex(0):01)"},
        {"unknown type", {L"u", 0x2A, "\x7f"}, LR"("u"=hex(2a):7f)"},
        {"empty binary", {L"b", REG_BINARY, ""}, LR"("b"=hex:)"},
        {"line break in a name", Sz(L"a\r\n[HKEY_USERS\\x]", L"v"),
         L"; Left out: a value whose name holds a line break, which a .reg file cannot hold."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(velquist::ValueLine(c.value), c.line) << c.what;
    }
}

// Long hex data wraps as regedit wraps it: lines as full as they can be without passing 80 columns,
// each but the last ending ",\", the next indented two spaces, and the same bytes when read back.
TEST(RegFile, LongHexDataWrapsBefore80Columns) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i * 7);
    // Names of each length modulo 3, so that each line end regedit can reach is reached; the longest ends at 80.
    for (const std::wstring& name : std::vector<std::wstring>{L"B", L"Bl", L"Blo", std::wstring(60, L'N')}) {
        const std::vector<std::wstring> lines = Lines(velquist::ValueLine({name, REG_BINARY, bytes}));
        ASSERT_GT(lines.size(), 10u) << std::string(name.begin(), name.end());
        std::string readBack;
        for (size_t i = 0; i < lines.size(); ++i) {
            std::wstring line = lines[i];
            EXPECT_LE(line.size(), 80u) << i;
            if (i + 1 < lines.size()) {
                EXPECT_GE(line.size(), 78u) << i;  // not broken early: another byte would have fitted
                ASSERT_EQ(line.substr(line.size() - 2), L",\\") << i;
                line.pop_back();
            }
            if (i == 0) {
                ASSERT_EQ(line.rfind(L"\"" + name + L"\"=hex:", 0), 0u);
                line.erase(0, name.size() + 7);
            } else {
                ASSERT_EQ(line.substr(0, 2), L"  ") << i;
                line.erase(0, 2);
            }
            for (size_t at = 0; at < line.size(); at += 3)
                readBack += static_cast<char>(std::stoi(line.substr(at, 2), nullptr, 16));
        }
        EXPECT_EQ(readBack, bytes);
    }
}

// Classes go under HKEY_LOCAL_MACHINE, or HKEY_CURRENT_USER per user; the rest is placed the same in both.
TEST(RegFile, KeysArePlacedInTheViewAndHiveTheyBelongIn) {
    const std::wstring clsid = std::wstring(L"CLSID\\") + kGuid + L"\\InprocServer32";
    const std::wstring typeLib = std::wstring(L"TypeLib\\") + kLibGuid + L"\\1.0";
    const std::wstring wowClsid = L"WOW6432Node\\" + clsid, hklm = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\";
    const struct {
        Root root;
        std::wstring path, placed64, placed32;  // for Classes, below the classes of the chosen hive
    } cases[] = {
        {Root::Classes, clsid, clsid, wowClsid},
        {Root::Classes, L"interface\\{X}\\ProxyStubClsid32", L"interface\\{X}\\ProxyStubClsid32",
         L"WOW6432Node\\interface\\{X}\\ProxyStubClsid32"},
        {Root::Classes, L"Media Type\\x", L"Media Type\\x", L"WOW6432Node\\Media Type\\x"},
        {Root::Classes, typeLib, typeLib, typeLib},
        {Root::Classes, L"Velquist.Sample\\CLSID", L"Velquist.Sample\\CLSID", L"Velquist.Sample\\CLSID"},
        {Root::LocalMachine, L"software\\Velquist", hklm + L"Velquist", hklm + L"WOW6432Node\\Velquist"},
        {Root::LocalMachine, L"Software\\Wow6432Node\\V", hklm + L"Wow6432Node\\V", hklm + L"Wow6432Node\\V"},
        {Root::LocalMachine, L"SYSTEM\\V", L"HKEY_LOCAL_MACHINE\\SYSTEM\\V", L"HKEY_LOCAL_MACHINE\\SYSTEM\\V"},
        {Root::CurrentUser, L"Software\\V", L"HKEY_CURRENT_USER\\Software\\V", L"HKEY_CURRENT_USER\\Software\\V"},
        {Root::Users, L".DEFAULT\\V", L"HKEY_USERS\\.DEFAULT\\V", L"HKEY_USERS\\.DEFAULT\\V"},
    };
    for (const auto& c : cases) {
        const std::string what(c.path.begin(), c.path.end());
        for (const bool perUser : {false, true}) {
            const std::wstring hive = c.root != Root::Classes ? L""
                                      : perUser               ? L"HKEY_CURRENT_USER\\Software\\Classes\\"
                                                              : L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
            EXPECT_EQ(velquist::PlacedKey(c.root, c.path, kAmd64, perUser), hive + c.placed64) << what << perUser;
            EXPECT_EQ(velquist::PlacedKey(c.root, c.path, kI386, perUser), hive + c.placed32) << what << perUser;
        }
    }
}

// A 32-bit control with a class (another one written to the 32-bit view by name), a ProgID, a type
// library, a file type and a setting; and a 64-bit library that shares the type library.
std::vector<Capture> SampleRun() {
    const std::wstring clsid = std::wstring(L"CLSID\\") + kGuid, typeLib = std::wstring(L"TypeLib\\") + kLibGuid;
    Capture control{"C:\\V\xC3\xA9lquist\\sample.ocx", kI386, {}};
    control.keys = {
        {Root::Classes, L"CLSID", {}, true},
        {Root::Classes, clsid, {Sz(L"", L"Sample")}, true},
        {Root::Classes,
         clsid + L"\\InprocServer32",
         {Sz(L"", L"C:\\sample.ocx"), Sz(L"ThreadingModel", L"Apartment")},
         false},
        {Root::Classes, clsid + L"\\Programmable", {}, false},
        {Root::Classes, L"Velquist.Sample", {Sz(L"", L"Sample")}, true},
        {Root::Classes, L"Velquist.Sample\\CLSID", {Sz(L"", kGuid)}, false},
        {Root::Classes, L".vqs", {Sz(L"", L"Velquist.Sample")}, true},
        {Root::Classes, L".vqs\\CLSID", {Sz(L"", kGuid)}, false},  // a file type stays shared all the same
        {Root::Classes, L"Wow6432Node", {}, true},                 // the 32-bit view named outright
        {Root::Classes, L"Wow6432Node\\CLSID", {}, true},
        {Root::Classes, std::wstring(L"Wow6432Node\\CLSID\\") + kLibGuid, {Sz(L"", L"Other")}, false},
        {Root::Classes, L"TypeLib", {}, true},
        {Root::Classes, typeLib, {}, true},
        {Root::Classes, typeLib + L"\\1.0", {Sz(L"", L"Sample Library")}, false},
        {Root::LocalMachine, L"Software\\Velquist", {{L"Version", REG_DWORD, std::string("\x02\0\0\0", 4)}}, false},
    };
    Capture library{
        "C:\\lib64.dll",
        kAmd64,
        {{Root::Classes, typeLib, {}, true}, {Root::Classes, typeLib + L"\\1.0", {Sz(L"", L"Sample Library")}, false}}};
    return {control, library};
}

TEST(RegFile, RegistrationTextHasTheHeaderThenEachWrittenKeyParentsFirst) {
    const std::vector<std::wstring> lines = Lines(velquist::RegistrationText(SampleRun(), false, L"2024-05-06 07:08"));
    ASSERT_GT(lines.size(), 6u);
    EXPECT_EQ(lines[0], L"Windows Registry Editor Version 5.00");
    std::vector<std::wstring> comments, keys;
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].find_first_of(L"\r\n"), std::wstring::npos);
        if (lines[i].rfind(L";", 0) == 0) comments.push_back(lines[i]);
        if (lines[i].rfind(L"[", 0) != 0) continue;
        keys.push_back(lines[i]);
        EXPECT_EQ(lines[i - 1], L"") << "no blank line before " << i;
    }
    ASSERT_EQ(comments.size(), 4u);
    EXPECT_NE(comments[0].find(L"2024-05-06 07:08"), std::wstring::npos);
    EXPECT_EQ(comments[1], L";   C:\\V\u00e9lquist\\sample.ocx (32-bit)");
    EXPECT_EQ(comments[2], L";   C:\\lib64.dll (64-bit)");
    EXPECT_NE(comments[3].find(L"64-bit Windows"), std::wstring::npos);

    const std::wstring c = L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\", lib = c + L"TypeLib\\" + kLibGuid + L"\\1.0]";
    const std::vector<std::wstring> expected = {c + L"WOW6432Node\\CLSID\\" + kGuid + L"]",
                                                c + L"WOW6432Node\\CLSID\\" + kGuid + L"\\InprocServer32]",
                                                c + L"WOW6432Node\\CLSID\\" + kGuid + L"\\Programmable]",
                                                c + L"Velquist.Sample]",
                                                c + L"Velquist.Sample\\CLSID]",
                                                c + L".vqs]",
                                                c + L".vqs\\CLSID]",
                                                c + L"Wow6432Node\\CLSID\\" + kLibGuid + L"]",
                                                lib,
                                                L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velquist]",
                                                lib};
    EXPECT_EQ(keys, expected);
    // The empty leaf key is written with no value after it.
    const auto programmable = std::find(lines.begin(), lines.end(), expected[2]);
    ASSERT_NE(programmable, lines.end());
    EXPECT_EQ(*(programmable + 1), L"");
}

TEST(RegFile, RemovalTextRemovesOwnKeysWholeAndOtherValuesOneByOne) {
    const std::wstring text = velquist::RemovalText(SampleRun(), false, L"today");
    EXPECT_EQ(text.rfind(L"Windows Registry Editor Version 5.00\r\n", 0), 0u);
    std::vector<std::wstring> body;
    for (const std::wstring& line : Lines(text)) {
        if (!line.empty() && line[0] != L';' && line != L"Windows Registry Editor Version 5.00") body.push_back(line);
    }
    const std::wstring c = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
    const std::vector<std::wstring> expected = {
        L"[-" + c + L"WOW6432Node\\CLSID\\" + kGuid + L"]",
        L"[-" + c + L"Velquist.Sample]",
        L"[" + c + L".vqs]",
        L"@=-",
        L"[" + c + L".vqs\\CLSID]",
        L"@=-",
        L"[-" + c + L"Wow6432Node\\CLSID\\" + kLibGuid + L"]",
        L"[-" + c + L"TypeLib\\" + kLibGuid + L"]",  // once, though both components wrote it
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velquist]",
        L"\"Version\"=-",
    };
    EXPECT_EQ(body, expected);
}

// A key name with a line break would start lines of its own (a key of the component's choosing):
// it is left out, values and all, and says so.
TEST(RegFile, KeysWhoseNameHoldsALineBreakAreLeftOut) {
    const std::vector<Capture> run = {
        {"C:\\x.dll", kAmd64, {{Root::CurrentUser, L"Software\\a\r\n[HKEY_USERS\\x]", {Sz(L"v", L"w")}, false}}}};
    for (const std::wstring& text :
         {velquist::RegistrationText(run, false, L""), velquist::RemovalText(run, false, L"")}) {
        const std::vector<std::wstring> lines = Lines(text);
        const auto starting = [&](std::wstring_view prefix) {
            return std::count_if(lines.begin(), lines.end(),
                                 [&](const std::wstring& l) { return l.rfind(prefix, 0) == 0; });
        };
        EXPECT_EQ(starting(L"; Left out: a key"), 1);
        EXPECT_EQ(starting(L"[") + starting(L"\""), 0);  // no key line and no value line
    }
}

TEST(RegFile, SavedFileIsUtf16WithABomAndReplacesTheOldOne) {
    testsupport::TempDir dir;
    DWORD error = 0;
    const std::string target = dir / "sample.reg";
    ASSERT_TRUE(testsupport::WriteBytes(target, "old contents"));
    ASSERT_TRUE(velquist::SaveRegFile(target, L"A\u00e9\u20ac\r\n", error)) << error;
    EXPECT_EQ(testsupport::ReadBytes(target), std::string("\xFF\xFE\x41\0\xE9\0\xAC\x20\r\0\n\0", 12));

    const std::string folder = dir / "taken.reg";
    ASSERT_TRUE(testsupport::MakeDirs(folder));
    EXPECT_FALSE(velquist::SaveRegFile(folder, L"x", error));
    EXPECT_NE(error, 0u);
    WIN32_FIND_DATAA found;
    const win32::unique_hfind find(::FindFirstFileA((dir / "*.tmp").c_str(), &found));
    EXPECT_FALSE(win32::IsValid(find)) << found.cFileName;
}

// A value as the registry holds it under HKEY_CURRENT_USER, or none.
std::optional<Value> StoredValue(const std::wstring& subKey, const std::wstring& name) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return {};
    const win32::unique_hkey key(raw);
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    std::string data(size, '\0');
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    data.resize(size);
    return Value{name, type, data};
}

// reg.exe, and the program's own reading of the file, import the registration with every value's type
// and bytes intact, and the removal takes the class and ProgID away whole and the other values one by one.
TEST(RegFile, RegImportAndTheProgramsOwnImportApplyBothTexts) {
    const std::wstring base = L"Software\\VelquistRegFileTest", guid = L"{5E1C0D1E-7A1B-4C2D-9E3F-0A1B2C3D4E5F}";
    const std::string classes = "Software\\Classes\\",
                      clsidKey = classes + "CLSID\\{5E1C0D1E-7A1B-4C2D-9E3F-0A1B2C3D4E5F}",
                      progIdKey = classes + "VelquistRegFileTest.Sample";
    const auto cleanUp = [&] {
        testsupport::DeleteTree(HKEY_CURRENT_USER, "Software\\VelquistRegFileTest");
        testsupport::DeleteTree(HKEY_CURRENT_USER, clsidKey);
        testsupport::DeleteTree(HKEY_CURRENT_USER, progIdKey);
    };
    cleanUp();
    std::string blob;
    for (int i = 0; i < 200; ++i) blob += static_cast<char>(255 - i);
    const std::vector<Value> values = {
        Sz(L"", L"default"),
        Sz(L"Quoted \"name\"", L"C:\\a \"b\""),
        Sz(L"Lines", L"one\r\ntwo"),
        {L"Dword", REG_DWORD, "\x78\x56\x34\x12"},
        {L"Qword", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {L"Expand", REG_EXPAND_SZ, Utf16(std::wstring(L"%TEMP%\\x\0", 9))},
        {L"Multi", REG_MULTI_SZ, Utf16(std::wstring(L"a\0bc\0\0", 6))},
        {L"Blob", REG_BINARY, blob},
        {L"None", REG_NONE, "\x01\x02"},
        {L"Odd type", 0x2A, "\xff"},
        {L"Empty", REG_BINARY, ""},
        {L"Empty string", REG_SZ, ""},
        {L"NUL inside", REG_SZ, Utf16(std::wstring(L"a\0b\0", 4))},
        {L"Short dword", REG_DWORD, "\x01\x02"},
    };
    const std::wstring clsid = L"CLSID\\" + guid, progId = L"VelquistRegFileTest.Sample";
    const std::vector<Capture> run = {{"C:\\regfiletest.dll",
                                       kAmd64,
                                       {{Root::CurrentUser, L"Software", {}, true},
                                        {Root::CurrentUser, base, values, true},
                                        {Root::CurrentUser, base + L"\\Leaf", {}, false},
                                        {Root::Classes, L"CLSID", {}, true},
                                        {Root::Classes, clsid, {Sz(L"", L"Sample")}, true},
                                        {Root::Classes, clsid + L"\\InprocServer32", {Sz(L"", L"C:\\x.dll")}, false},
                                        {Root::Classes, progId, {Sz(L"", L"Sample")}, true},
                                        {Root::Classes, progId + L"\\CLSID", {Sz(L"", guid)}, false}}}};
    testsupport::TempDir dir;
    const std::string reg = win32::SystemFolder() + "\\reg.exe";
    for (const bool ownImport : {false, true}) {
        SCOPED_TRACE(ownImport ? "the program's import" : "reg import");
        const auto import = [&](const std::wstring& text, const char* name) {
            DWORD error = 0;
            ASSERT_TRUE(velquist::SaveRegFile(dir / name, text, error)) << error;
            if (ownImport) {
                std::wstring read;
                std::vector<velquist::RegSection> sections;
                std::string why;
                ASSERT_TRUE(velquist::ReadRegFile(dir / name, read, error)) << error;
                ASSERT_TRUE(velquist::ParseRegText(read, sections, why)) << why;
                for (const velquist::RegSection& section : sections) {
                    EXPECT_EQ(velquist::ApplyRegEdits(section.edits), ERROR_SUCCESS);
                }
                return;
            }
            const auto outcome = testsupport::RunProcess(reg, "import \"" + (dir / name) + "\"", 60000);
            EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(0)) << outcome.output;
        };

        import(velquist::RegistrationText(run, true, L"now"), "register.reg");
        for (const Value& value : values) {
            EXPECT_EQ(StoredValue(base, value.name), std::optional<Value>(value))
                << std::string(value.name.begin(), value.name.end());
        }
        EXPECT_TRUE(testsupport::KeyExists(HKEY_CURRENT_USER, "Software\\VelquistRegFileTest\\Leaf"));
        EXPECT_EQ(testsupport::StringValue(HKEY_CURRENT_USER, clsidKey + "\\InprocServer32"), "C:\\x.dll");
        EXPECT_EQ(testsupport::StringValue(HKEY_CURRENT_USER, progIdKey + "\\CLSID"),
                  "{5E1C0D1E-7A1B-4C2D-9E3F-0A1B2C3D4E5F}");

        import(velquist::RemovalText(run, true, L"now"), "remove.reg");
        for (const Value& value : values)
            EXPECT_FALSE(StoredValue(base, value.name)) << std::string(value.name.begin(), value.name.end());
        EXPECT_FALSE(testsupport::KeyExists(HKEY_CURRENT_USER, clsidKey));
        EXPECT_FALSE(testsupport::KeyExists(HKEY_CURRENT_USER, progIdKey));
        EXPECT_TRUE(testsupport::KeyExists(HKEY_CURRENT_USER, classes + "CLSID"));  // the shared parent stays
        cleanUp();
    }
}

// What the program's reading refuses, the line named.
TEST(RegFile, TheProgramsImportRefusesWhatIsNoRegFile) {
    struct Case {
        const wchar_t* text;
        const char* why;
    };
    for (const Case& c : {Case{L"REGEDIT4\r\n", "Line 1 is not \"Windows Registry Editor Version 5.00\"."},
                          Case{L"Windows Registry Editor Version 5.00\r\n\r\n\"v\"=\"x\"\r\n",
                               "Line 3 holds a value outside any key."},
                          Case{L"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=dword:1\r\n",
                               "Line 3 is neither a key, a value nor a comment."},
                          Case{L"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\A\r\n",
                               "Line 2 holds a key's name without its closing bracket."},
                          Case{L"", "The file is empty."}}) {
        std::vector<velquist::RegSection> sections;
        std::string why;
        EXPECT_FALSE(velquist::ParseRegText(c.text, sections, why)) << c.why;
        EXPECT_EQ(why, c.why);
    }
}

}  // namespace
