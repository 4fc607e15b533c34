// The registration check against keys written straight into the test prefix's registry (the 64-bit view
// unless a case registers a 32-bit component).
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <functional>
#include <regex>
#include <utility>
#include <string>

#include "TestComponents.h"
#include "TestSupport.h"
#include "inspect/CheckRegistration.h"
#include "pe/PeExports.h"
#include "win32/Paths.h"
#include "win32/Text.h"

using check::Verdict;
using testsupport::ComponentPath;

namespace {

constexpr wchar_t kClsid[] = L"{3F1D6A52-8C07-4E9B-A1D4-27C5E0B9F6A1}";
constexpr wchar_t kTypeLib[] = L"{3F1D6A52-8C07-4E9B-A1D4-27C5E0B9F6A2}";
constexpr wchar_t kProgId[] = L"Velquist.CheckTest.1";
constexpr char kOutsideKey[] = "Software\\Velquist check test";
constexpr REGSAM kView = KEY_WOW64_64KEY;
// The test components are of this program's bitness.
const std::string kOwnBits = sizeof(void*) == 8 ? "64-bit" : "32-bit";

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClsid;
const std::wstring kServerKey = kClassKey + L"\\InprocServer32";

// A string value as the registry stores it: UTF-16LE with its terminator.
capture::Value Text(const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ) {
    const std::wstring stored = text + L'\0';
    return {name, type, std::string(reinterpret_cast<const char*>(stored.data()), stored.size() * sizeof(wchar_t))};
}

// What a component at `file` registers: a class, its ProgID and a type library; `server` is the text its
// file values hold (the file itself unless a test writes another form of it).
capture::Capture Registration(const std::string& file, const std::string& server = {}, DWORD serverType = REG_SZ,
                              std::uint16_t machine = peexports::kMachineAmd64) {
    const std::wstring path = win32::Wide(server.empty() ? file : server);
    const std::wstring typeLibKey = std::wstring(L"TypeLib\\") + kTypeLib;
    capture::Capture capture;
    capture.file = file;
    capture.machine = machine;
    capture.keys = {
        {capture::Root::Classes, kClassKey, {Text(L"", L"Velquist check test class")}, true},
        {capture::Root::Classes, kServerKey, {Text(L"", path, serverType), Text(L"ThreadingModel", L"Apartment")}, false},
        {capture::Root::Classes, kClassKey + L"\\ProgID", {Text(L"", kProgId)}, false},
        {capture::Root::Classes, kClassKey + L"\\Programmable", {}, false},
        {capture::Root::Classes, typeLibKey, {}, true},
        {capture::Root::Classes, typeLibKey + L"\\1.0", {Text(L"", L"Velquist check test library")}, true},
        {capture::Root::Classes, typeLibKey + L"\\1.0\\0", {}, true},
        {capture::Root::Classes, typeLibKey + L"\\1.0\\0\\win64", {Text(L"", path, serverType)}, false},
        {capture::Root::Classes, kProgId, {Text(L"", kClsid)}, false},
    };
    return capture;
}
constexpr int kItems = 8;  // the values above and the empty Programmable key

win32::unique_hkey Create(HKEY root, const std::wstring& path, REGSAM view = kView) {
    HKEY key = nullptr;
    ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    return win32::unique_hkey(key);
}

// Writes the capture's keys as its component would: its classes under root's Software\Classes.
void Install(HKEY classesRoot, const capture::Capture& capture) {
    for (const capture::Key& key : capture.keys) {
        const bool classes = key.root == capture::Root::Classes;
        const auto written = Create(classes ? classesRoot : HKEY_LOCAL_MACHINE, (classes ? L"Software\\Classes\\" : L"") + key.path,
                                    capture.machine == peexports::kMachineI386 ? KEY_WOW64_32KEY : kView);
        ASSERT_TRUE(written) << win32::Narrow(key.path);
        for (const capture::Value& value : key.values) {
            ::RegSetValueExW(written.get(), value.name.c_str(), 0, value.type,
                             reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size()));
        }
    }
}

std::string Narrow(const std::wstring& text) { return win32::Narrow(text); }

class CheckRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        userClassesExisted_ = testsupport::KeyExists(HKEY_CURRENT_USER, "Software\\Classes");
        Clean();
    }
    void TearDown() override {
        Clean();
        if (!userClassesExisted_) testsupport::DeleteTree(HKEY_CURRENT_USER, "Software\\Classes");
    }
    static void Clean() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (const std::wstring& key : {kClassKey, std::wstring(L"TypeLib\\") + kTypeLib, std::wstring(kProgId)}) {
                for (REGSAM view : {kView, REGSAM(KEY_WOW64_32KEY)}) {
                    testsupport::DeleteTree(root, "Software\\Classes\\" + Narrow(key), view);
                }
            }
        }
        testsupport::DeleteTree(HKEY_LOCAL_MACHINE, kOutsideKey, kView);
    }

    const std::string file_ = ComponentPath(VELQUIST_COMSERVER_DLL);
    const std::string other_ = ComponentPath(VELQUIST_COMSERVER2_DLL);

private:
    bool userClassesExisted_ = false;
};

TEST_F(CheckRegistrationTest, NothingThereIsNotRegistered) {
    const auto result = check::CheckAgainstMachine(Registration(file_));
    EXPECT_EQ(result.verdict, Verdict::NotRegistered);
    EXPECT_EQ(result.detail, "None of the " + std::to_string(kItems) + " keys and values it registers is there.");
}

TEST_F(CheckRegistrationTest, EverythingInTheMachinesClassesIsRegisteredHere) {
    Install(HKEY_LOCAL_MACHINE, Registration(file_));
    const auto result = check::CheckAgainstMachine(Registration(file_));
    EXPECT_EQ(result.verdict, Verdict::RegisteredHere);
    EXPECT_EQ(result.detail, "All " + std::to_string(kItems) + " keys and values it registers are there, in the 64-bit registry view.");
}

TEST_F(CheckRegistrationTest, AnotherCopyNamedByTheClassAndTypeLibraryIsElsewhere) {
    Install(HKEY_LOCAL_MACHINE, Registration(other_));
    const auto result = check::CheckAgainstMachine(Registration(file_));
    EXPECT_EQ(result.verdict, Verdict::RegisteredElsewhere);
    const std::string there = " points at " + other_ + " (exists, " + kOwnBits + ", no version), in the machine's classes.";
    EXPECT_EQ(result.detail, "Class " + Narrow(kClsid) + " (" + Narrow(kProgId) + ")" + there + " Type library " +
                                 Narrow(kTypeLib) + " (Velquist check test library)" + there);
}

// What users learn of the other file: whether it is there, and if so its bitness and version; under
// the system folder, the file a client of the registration's bitness finds there, whichever program checks.
TEST_F(CheckRegistrationTest, TheOtherFileIsDescribed) {
    const testsupport::TempDir scratch;
    ASSERT_TRUE(testsupport::WriteBytes(scratch / "notes.dll", "plain text"));
    const struct {
        std::string other;
        std::uint16_t machine;
        const char* description;
    } cases[] = {
        {scratch / "absent.dll", peexports::kMachineAmd64, R"(\(does not exist\), in )"},
        {scratch / "notes.dll", peexports::kMachineAmd64, R"(\(exists, not a program file, no version\), in )"},
        {win32::SystemFolder() + "\\ole32.dll", peexports::kMachineAmd64, R"(\(exists, 64-bit, version \d+\.\d+\.\d+\.\d+\), in )"},
        {win32::SystemFolder() + "\\ole32.dll", peexports::kMachineI386, R"(\(exists, 32-bit, version \d+\.\d+\.\d+\.\d+\), in )"},
    };
    for (const auto& [other, machine, description] : cases) {
        SCOPED_TRACE(other + (machine == peexports::kMachineI386 ? " (32-bit)" : " (64-bit)"));
        Install(HKEY_LOCAL_MACHINE, Registration(other, {}, REG_SZ, machine));
        const auto result = check::CheckAgainstMachine(Registration(file_, {}, REG_SZ, machine));
        EXPECT_EQ(result.verdict, Verdict::RegisteredElsewhere);
        EXPECT_TRUE(std::regex_search(result.detail, std::regex(description))) << result.detail;
        Clean();
    }
}

TEST_F(CheckRegistrationTest, SomethingMissingOrDifferentIsPartlyRegistered) {
    const std::string classKey = Narrow(kClassKey);
    const std::string server = Narrow(kServerKey);
    const auto serverKey = [] { return Create(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + kServerKey); };
    struct Case {
        const char* name;
        std::function<void()> change;
        std::string detail;
    };
    const Case cases[] = {
        {"value removed", [&] { ::RegDeleteValueW(serverKey().get(), L"ThreadingModel"); },
         "Missing: " + server + " value ThreadingModel."},
        {"value changed",
         [&] { ::RegSetValueExW(serverKey().get(), L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Both"), 10); },
         "Different: " + server + " value ThreadingModel (here \"Both\", expected \"Apartment\")."},
        {"all but the ProgID removed",  // the first five named, in the order they were written
         [&] {
             testsupport::DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + classKey, kView);
             testsupport::DeleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\TypeLib\\" + Narrow(kTypeLib), kView);
         },
         "Missing: " + classKey + " default value; " + server + " default value; " + server + " value ThreadingModel; " +
             classKey + "\\ProgID default value; key " + classKey + "\\Programmable and 2 more."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Install(HKEY_LOCAL_MACHINE, Registration(file_));
        c.change();
        const auto result = check::CheckAgainstMachine(Registration(file_));
        EXPECT_EQ(result.verdict, Verdict::PartlyRegistered);
        EXPECT_EQ(result.detail, c.detail);
        Clean();
    }
}

TEST_F(CheckRegistrationTest, TheUsersClassesHideTheMachines) {
    Install(HKEY_LOCAL_MACHINE, Registration(file_));
    Install(HKEY_CURRENT_USER, Registration(other_));
    const auto elsewhere = check::CheckAgainstMachine(Registration(file_));
    EXPECT_EQ(elsewhere.verdict, Verdict::RegisteredElsewhere);
    EXPECT_NE(elsewhere.detail.find(other_ + " (exists, " + kOwnBits + ", no version), in the current user's classes."),
              std::string::npos)
        << elsewhere.detail;

    // The user's copy of the ProgID's key, as the machine's, leaves the registration here, with a note.
    // (A copy of a key below the class's would hide the machine's class key itself, values and all.)
    Clean();
    Install(HKEY_LOCAL_MACHINE, Registration(file_));
    capture::Capture progId = Registration(file_);
    progId.keys.erase(progId.keys.begin(), progId.keys.end() - 1);
    Install(HKEY_CURRENT_USER, progId);
    const auto here = check::CheckAgainstMachine(Registration(file_));
    EXPECT_EQ(here.verdict, Verdict::RegisteredHere);
    EXPECT_NE(here.detail.find(" Some of them are in the current user's classes."), std::string::npos) << here.detail;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string ShortForm(const std::string& path) {
    char shortPath[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? shortPath : path;
}

// The system's own library, named through its variable and literally.
const std::string kSystemLibrary = "%SystemRoot%\\System32\\ole32.dll";
std::string SystemLibrary() { return Upper(win32::SystemFolder()) + "\\ole32.dll"; }

TEST_F(CheckRegistrationTest, AnotherSpellingOfTheFileIsStillHere) {
    struct Case {
        std::string file, captured, installed;
        DWORD type;
    };
    const Case cases[] = {
        {file_, file_, Upper(file_), REG_SZ},
        {file_, file_, "\"" + file_ + "\"", REG_SZ},
        {SystemLibrary(), kSystemLibrary, SystemLibrary(), REG_EXPAND_SZ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed);
        Install(HKEY_LOCAL_MACHINE, Registration(c.file, c.installed));
        const auto result = check::CheckAgainstMachine(Registration(c.file, c.captured, c.type));
        EXPECT_EQ(result.verdict, Verdict::RegisteredHere) << result.detail;
        Clean();
    }
}

// Keys outside the classes decide only for a component that registers nothing in them.
TEST_F(CheckRegistrationTest, KeysOutsideTheClassesDecideOnlyWithoutClasses) {
    capture::Capture outside;
    outside.machine = peexports::kMachineAmd64;
    const std::wstring path = win32::Wide(kOutsideKey);
    outside.keys = {{capture::Root::LocalMachine, path, {Text(L"A", L"1"), Text(L"B", L"2")}, false}};
    Install(HKEY_LOCAL_MACHINE, outside);
    EXPECT_EQ(check::CheckAgainstMachine(outside).verdict, Verdict::RegisteredHere);

    outside.keys[0].values.push_back(Text(L"C", L"3"));
    const auto alone = check::CheckAgainstMachine(outside);
    EXPECT_EQ(alone.verdict, Verdict::PartlyRegistered);
    EXPECT_EQ(alone.detail.rfind("It registers nothing in the classes. Outside the classes, 2 of 3 keys and values are "
                                 "present. Missing: ", 0), 0u) << alone.detail;
    EXPECT_NE(alone.detail.find("value C"), std::string::npos) << alone.detail;
    testsupport::DeleteTree(HKEY_LOCAL_MACHINE, kOutsideKey, kView);
    EXPECT_EQ(check::CheckAgainstMachine(outside).verdict, Verdict::NotRegistered);
    capture::Capture twoValues = outside;
    twoValues.keys[0].values.pop_back();
    Install(HKEY_LOCAL_MACHINE, twoValues);

    capture::Capture both = Registration(file_);
    both.keys.push_back(outside.keys[0]);
    Install(HKEY_LOCAL_MACHINE, Registration(file_));
    const auto result = check::CheckAgainstMachine(both);
    EXPECT_EQ(result.verdict, Verdict::RegisteredHere);
    EXPECT_NE(result.detail.find(" Outside the classes, 2 of 3 keys and values are present."), std::string::npos);
}

TEST(SameFile, NamesOfOneFile) {
    const std::string file = ComponentPath(VELQUIST_COMSERVER_DLL);
    const std::string folder = testsupport::ComponentDir();
    struct Case {
        std::string a, b;
        bool same;
    };
    const Case cases[] = {
        {file, Upper(file), true},
        {file, "\"" + file + "\"", true},
        {file, ShortForm(file), true},
        {file, folder + "\\deps\\..\\" VELQUIST_COMSERVER_DLL, true},
        {kSystemLibrary, SystemLibrary(), true},
        {file, ComponentPath(VELQUIST_COMSERVER2_DLL), false},
        {folder + "\\absent.dll", Upper(folder) + "\\ABSENT.DLL", true},  // no file: compared as written
        {folder + "\\absent.dll", folder + "\\absent2.dll", false},
        {"\"\"", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(check::SameFile(c.a, c.b), c.same) << c.a << " | " << c.b;
    }
}

}  // namespace
