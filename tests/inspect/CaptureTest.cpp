// Captures of real components in their runner: what lands in the scratch key, and that the machine's
// registry and the runner are left as they were, however the component behaves.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "TestComponents.h"
#include "TestSupport.h"
#include "registration/Details.h"
#include "inspect/RegistryTree.h"
#include "inspect/CaptureKeys.h"
#include "registration/Session.h"

using capture::Root;
using modRegister::Outcome;
using testsupport::ComponentPath;

namespace {

std::wstring W(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// UTF-16LE bytes of a REG_SZ, terminator included, as the registry stores it.
std::string Sz(const std::string& text) {
    std::string bytes;
    for (char c : text + '\0') {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

const capture::Key* Find(const capture::Capture& captured, Root root, const std::string& path) {
    for (const capture::Key& key : captured.keys) {
        if (key.root == root && _wcsicmp(key.path.c_str(), W(path).c_str()) == 0) return &key;
    }
    return nullptr;
}

const capture::Value* FindValue(const capture::Key* key, const std::wstring& name) {
    if (key == nullptr) return nullptr;
    for (const capture::Value& value : key->values) {
        if (_wcsicmp(value.name.c_str(), name.c_str()) == 0) return &value;
    }
    return nullptr;
}

void ExpectUnchanged(const testsupport::MachineRegistry& before) {
    EXPECT_EQ(before.FirstDifference(testsupport::MachineRegistry::Read()), L"");
}

// Every "the machine stays as it was" below rests on the reading seeing a write wherever it lands, and
// nothing of Wine's own font cache.
TEST(MachineRegistry, SeesAValueWrittenAnywhereItReadsAndNothingElse) {
    const struct {
        HKEY root;
        const char* key;
        REGSAM view;
        bool seen;
    } places[] = {
        {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\VelquistReadProbe", KEY_WOW64_64KEY, true},
        {HKEY_LOCAL_MACHINE, "Software\\VelquistReadProbe", KEY_WOW64_32KEY, true},
        {HKEY_CURRENT_USER, "Software\\VelquistReadProbe", 0, true},
        {HKEY_CURRENT_USER, "Software\\Wine\\VelquistReadProbe", 0, false},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.key);
        const testsupport::MachineRegistry untouched = testsupport::MachineRegistry::Read();
        HKEY created = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(place.root, place.key, 0, nullptr, 0, KEY_ALL_ACCESS | place.view, nullptr, &created,
                                    nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(untouched.FirstDifference(testsupport::MachineRegistry::Read()).empty(), !place.seen);
        // A value in a key that was there: only the values differ.
        const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
        const char data[] = "probe";
        ::RegSetValueExA(created, "Probe", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
        ::RegCloseKey(created);
        const std::wstring difference = before.FirstDifference(testsupport::MachineRegistry::Read());
        ::RegDeleteKeyExA(place.root, place.key, place.view, 0);
        EXPECT_EQ(difference.find(L"VelquistReadProbe") != std::wstring::npos, place.seen) << difference;
        ExpectUnchanged(untouched);
    }
}

class CaptureTest : public ::testing::Test {
protected:
    registration::Session& session_ = testsupport::Runners();
    void TearDown() override { session_.EndRunners(); }
};

TEST_F(CaptureTest, TypedComponentIsCapturedWholeAndTheMachineStaysAsItWas) {
    const std::string path = ComponentPath(VELQUIST_TYPED_DLL);
    ASSERT_TRUE(modRegister::RunServerEntry(session_, path, false));  // whatever an earlier run left
    const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();

    ASSERT_EQ(session_.Probe(path).outcome, Outcome::Success);  // kept loaded for the capture, as in a run
    capture::Capture captured;
    const modRegister::Result result = session_.Capture(path, captured);
    ASSERT_EQ(result.outcome, Outcome::Success) << modRegister::Describe(result);
    EXPECT_EQ(captured.machine, result.machine);
    EXPECT_EQ(_stricmp(captured.file.c_str(), path.c_str()), 0);

    const capture::Key* server = Find(captured, Root::Classes, "CLSID\\" VELQUIST_TYPED_CLSID "\\InprocServer32");
    ASSERT_NE(server, nullptr);
    const capture::Value* serverPath = FindValue(server, L"");
    ASSERT_NE(serverPath, nullptr);
    EXPECT_EQ(serverPath->type, static_cast<std::uint32_t>(REG_SZ));
    EXPECT_EQ(serverPath->data, Sz(path));
    const capture::Key* programmable = Find(captured, Root::Classes, "CLSID\\" VELQUIST_TYPED_CLSID "\\Programmable");
    ASSERT_NE(programmable, nullptr);  // an empty key is part of the registration
    EXPECT_TRUE(programmable->values.empty());
    EXPECT_FALSE(programmable->hasSubkeys);
    EXPECT_TRUE(Find(captured, Root::Classes, "CLSID\\" VELQUIST_TYPED_CLSID)->hasSubkeys);
    EXPECT_NE(Find(captured, Root::Classes, VELQUIST_TYPED_PROGID "\\CLSID"), nullptr);
    EXPECT_NE(Find(captured, Root::Classes, "TypeLib\\" VELQUIST_TYPED_LIBID "\\1.0"), nullptr);
    const capture::Value* build =
        FindValue(Find(captured, Root::LocalMachine, VELQUIST_TYPED_PRODUCT_KEY), L"Build");
    ASSERT_NE(build, nullptr);
    EXPECT_EQ(build->type, static_cast<std::uint32_t>(REG_DWORD));
    EXPECT_EQ(build->data, std::string("\x07\0\0\0", 4));
    // The runner's scaffolding is not the component's.
    EXPECT_EQ(Find(captured, Root::LocalMachine, "SOFTWARE"), nullptr);

    ExpectUnchanged(before);
    EXPECT_FALSE(testsupport::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" VELQUIST_TYPED_CLSID));
}

// A copy of one of Wine's components, captured in a runner where an earlier component keeps the
// system's file of that name loaded: the capture is of the copy (Wine would hand back the module
// already loaded, and the copy would register the system's file).
TEST_F(CaptureTest, ACopyOfALibraryAnEarlierComponentKeepsLoadedIsCapturedAsItself) {
    testsupport::TempDir dir;
    char system[MAX_PATH] = {};
    ASSERT_NE(::GetSystemDirectoryA(system, MAX_PATH), 0u);
    const std::string copy = dir / VELQUIST_HOLDER_LIBRARY;
    ASSERT_TRUE(testsupport::CopyTo(std::string(system) + "\\" VELQUIST_HOLDER_LIBRARY, copy));
    capture::Capture held, captured;
    ASSERT_EQ(session_.Capture(ComponentPath(VELQUIST_HOLDER_DLL), held).outcome, Outcome::NothingCaptured);
    const modRegister::Result result = session_.Capture(copy, captured);
    ASSERT_EQ(result.outcome, Outcome::Success) << modRegister::Describe(result);
    std::size_t servers = 0;
    for (const capture::Key& key : captured.keys) {
        const std::wstring& path = key.path;
        if (path.size() < 15 || _wcsicmp(path.c_str() + path.size() - 15, L"\\InprocServer32") != 0) continue;
        const capture::Value* server = FindValue(&key, L"");
        ASSERT_NE(server, nullptr);
        EXPECT_EQ(server->data, Sz(copy)) << "in " << std::string(path.begin(), path.end());
        ++servers;
    }
    EXPECT_GE(servers, 1u);
}

// A component that fails, writes nothing, hangs or crashes inside the capture: its line says so, no
// scratch key is left, and the runner that serves next has the real registry again.
TEST_F(CaptureTest, EveryFailureLeavesNoScratchKeyAndNoRedirection) {
    struct Case {
        const char* file;
        Outcome outcome;
        const char* detail;  // the start of the line's detail
    };
    const Case cases[] = {
        {VELQUIST_FAILING_DLL, Outcome::EntryFailed, "The capture was refused: DllRegisterServer failed"},
        {VELQUIST_NOUNREGISTER_DLL, Outcome::NothingCaptured,
         "Its registration writes nothing to the registry; there is nothing to check or export."},
        {VELQUIST_CRASHING_DLL, Outcome::Crashed, "Crashed"},
        {VELQUIST_BLOCKING_DLL, Outcome::TimedOut, "Did not finish within"},
    };
    // The class the loop registers and forgets is in neither view to begin with, whatever ran before.
    for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID, view);
    }
    const testsupport::MachineRegistry before = testsupport::MachineRegistry::Read();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = ComponentPath(c.file);
        capture::Capture captured;
        const modRegister::Result result = session_.Capture(path, captured, 3000);
        EXPECT_EQ(result.outcome, c.outcome) << modRegister::Describe(result);
        const std::string detail = modRegister::Detail(path, result, true, 3000);
        EXPECT_EQ(detail.rfind(c.detail, 0), 0u) << detail;

        // The next request in the same session registers for real.
        const std::string server = ComponentPath(VELQUIST_COMSERVER_DLL);
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID);
        EXPECT_TRUE(modRegister::RunServerEntry(session_, server, true));
        EXPECT_EQ(_stricmp(testsupport::RegisteredServer(VELQUIST_COMSERVER_CLSID).c_str(), server.c_str()), 0);
        testsupport::ForgetClass(VELQUIST_COMSERVER_CLSID);
    }
    ExpectUnchanged(before);
}

// Captures side by side begin at the same tick now and then: each still gets a scratch key of its own,
// and a sweeper deletes what it is handed before Drain returns.
TEST(ScratchKeyTest, KeysMadeAtOnceOnTwoThreadsHaveNamesOfTheirOwnAndTheSweeperDeletesThem) {
    std::vector<std::string> names[2];
    registration::ScratchSweeper sweeper;
    const auto make = [&sweeper](std::vector<std::string>& into) {
        for (int i = 0; i < 200; ++i) {
            registration::ScratchKey key(&sweeper);
            into.push_back(key.Name());
            HKEY created = nullptr;
            ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (key.Name() + "\\Below").c_str(), 0, nullptr, 0, KEY_WRITE,
                                        nullptr, &created, nullptr),
                      ERROR_SUCCESS);
            ::RegCloseKey(created);
        }
    };
    std::thread other([&] { make(names[1]); });
    make(names[0]);
    other.join();
    sweeper.Drain();
    std::vector<std::string> all = names[0];
    all.insert(all.end(), names[1].begin(), names[1].end());
    for (const std::string& name : all) EXPECT_FALSE(testsupport::KeyExists(HKEY_CURRENT_USER, name)) << name;
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
}

// What a registration writes around the redirection is put back as it was: a key added, a value
// changed, a value and a key removed, in both views. Written here by hand, as no component of this
// bitness reaches around the redirection under every Wine.
TEST(EscapeWatchTest, PutsBackTheInterfaceKeysOfBothViewsAsTheyWere) {
    constexpr char kKey[] = "Software\\Classes\\Interface\\{5D2C8E4F-0B7A-4C39-A1F6-2E9D7B30C4A5}";
    const std::string kept = std::string(kKey) + "\\Kept";
    for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
        SCOPED_TRACE(view);
        const auto set = [view](const std::string& key, const char* name, const char* text) {
            HKEY opened = nullptr;
            ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                        &opened, nullptr),
                      ERROR_SUCCESS);
            ::RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), std::strlen(text) + 1);
            ::RegCloseKey(opened);
        };
        set(kKey, nullptr, "before");
        set(kept, "Gone", "soon");
        registration::EscapeWatch watch;
        watch.Before();
        set(kKey, nullptr, "after");
        set(std::string(kKey) + "\\Added\\Deeper", "New", "value");
        testsupport::DeleteTree(HKEY_LOCAL_MACHINE, kept, view);
        watch.After();
        EXPECT_EQ(testsupport::StringValue(HKEY_LOCAL_MACHINE, kKey, nullptr, view), "before");
        EXPECT_EQ(testsupport::StringValue(HKEY_LOCAL_MACHINE, kept, "Gone", view), "soon");
        EXPECT_FALSE(testsupport::KeyExists(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Added", view));
        // Unchanged since: the next capture's record is the same, and nothing is written.
        watch.Before();
        watch.After();
        EXPECT_EQ(testsupport::StringValue(HKEY_LOCAL_MACHINE, kKey, nullptr, view), "before");
        testsupport::DeleteTree(HKEY_LOCAL_MACHINE, kKey, view);
    }
}

}  // namespace
