// A manifest exported from a folder of real components, used as an application uses it: the classes
// are made, the ProgIDs found and the type library loaded through an activation context made from it,
// with nothing of them registered; without the context the same calls fail.
//
// Where Wine falls short of Windows, and what this test therefore cannot show:
// - Wine accepts elements in places Windows refuses (it validates no schema): that the manifest is one
//   Windows takes is checked by the writer's table test, element by element and parent by parent.
// - Wine's CLSIDFromProgID under a context gives an alias CLSID, not the class's own (Windows gives
//   the class's): the test makes the object through what it gets instead of comparing the two.
// - Wine makes no use of a comClass's miscStatus or description, nor of a typelib's helpdir and
//   flags: they too are checked in the table test alone.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>

#include "RecordingList.h"
#include "TestComponents.h"
#include "TestSupport.h"
#include "tasks/Commands.h"
#include "win32/Text.h"

using velquist::LineKind;
using velquist::RunRequest;

namespace {

GUID Guid(const char* text) {
    GUID guid{};
    ::CLSIDFromString(win32::Wide(text).c_str(), &guid);
    return guid;
}

// What a client gets of the component's classes and library, in the context active now.
struct ClientView {
    HRESULT byClsid = E_FAIL, progId = E_FAIL, byProgId = E_FAIL, library = E_FAIL;
};

ClientView AsClient() {
    ClientView view;
    IUnknown* object = nullptr;
    view.byClsid = ::CoCreateInstance(Guid(VELQUIST_CREATABLE_CLSID), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(&object));
    if (object != nullptr) object->Release();
    // Under a context Wine gives an alias of the class's CLSID: what matters is that it makes the object.
    CLSID found{};
    view.progId = ::CLSIDFromProgID(L"" VELQUIST_CREATABLE_PROGID, &found);
    if (SUCCEEDED(view.progId)) {
        object = nullptr;
        view.byProgId = ::CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
        if (object != nullptr) object->Release();
    }
    ITypeLib* library = nullptr;
    view.library = ::LoadRegTypeLib(Guid(VELQUIST_CREATABLE_LIBID), 1, 0, 0, &library);
    if (library != nullptr) library->Release();
    return view;
}

TEST(ManifestExport, AnApplicationUsesTheComponentsThroughItWithNothingRegistered) {
    testsupport::TempDir dir;
    const std::string folder = dir / "controls";
    // The walk takes sub-folders first: the component in "bin" decides the manifest's bitness, and the
    // one of the other bitness beside the manifest cannot join it.
    const std::string component = folder + "\\bin\\" VELQUIST_CREATABLE_DLL;
    ASSERT_TRUE(testsupport::MakeDirs(folder + "\\bin"));
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_CREATABLE_DLL), component));
    const std::string other = folder + "\\" VELQUIST_COMSERVER_DLL;
    ASSERT_TRUE(testsupport::CopyTo(testsupport::OtherComponentPath(VELQUIST_COMSERVER_DLL), other));
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        testsupport::ForgetClass(VELQUIST_CREATABLE_CLSID, view);
        ASSERT_FALSE(testsupport::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" VELQUIST_CREATABLE_CLSID, view));
    }

    const RunRequest request{RunRequest::Mode::Directory, folder, true, true, false, RunRequest::Task::Manifest,
                             folder + "\\Velquist.Tests.manifest"};
    testsupport::RecordingList list;
    const velquist::RunSummary summary =
        velquist::Execute(request, testsupport::Runners(), list, [](const std::string& message) { ADD_FAILURE() << message; });
    ASSERT_TRUE(summary.written);
    EXPECT_EQ(summary.succeeded, 1u);
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(velquist::ExitCodeOf(summary), velquist::kExitFailed);
    bool exported = false, refused = false;
    for (const auto& line : list.lines) {
        exported = exported || (line.line.kind == LineKind::Exported && line.line.path == component);
        refused = refused || (line.line.kind == LineKind::Failed && line.line.path == other &&
                              line.line.detail.find("cannot share a manifest") != std::string::npos);
    }
    EXPECT_TRUE(exported && refused) << list.lines.size() << " lines";
    // Capturing registered nothing.
    EXPECT_FALSE(testsupport::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" VELQUIST_CREATABLE_CLSID));
    EXPECT_FALSE(testsupport::KeyExists(HKEY_CLASSES_ROOT, VELQUIST_CREATABLE_PROGID));

    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const ClientView before = AsClient();
    EXPECT_EQ(before.byClsid, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(before.progId, CO_E_CLASSSTRING);
    EXPECT_EQ(before.library, TYPE_E_LIBNOTREGISTERED);

    const std::wstring manifest = win32::Wide(request.target), directory = win32::Wide(folder);
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    context.lpSource = manifest.c_str();
    context.lpAssemblyDirectory = directory.c_str();
    const HANDLE created = ::CreateActCtxW(&context);
    ASSERT_NE(created, INVALID_HANDLE_VALUE) << "CreateActCtxW: " << ::GetLastError() << "\n"
                                             << testsupport::ReadBytes(request.target);
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(::ActivateActCtx(created, &cookie));
    const ClientView within = AsClient();
    ::DeactivateActCtx(0, cookie);
    ::ReleaseActCtx(created);
    const std::string text = testsupport::ReadBytes(request.target);
    EXPECT_EQ(within.byClsid, S_OK) << text;
    EXPECT_EQ(within.progId, S_OK) << text;
    EXPECT_EQ(within.byProgId, S_OK) << text;
    EXPECT_EQ(within.library, S_OK) << text;
    // And once more without it.
    EXPECT_EQ(AsClient().byClsid, REGDB_E_CLASSNOTREG);
    ::CoUninitialize();
}

// A name Windows would not take as an assembly's is refused before anything is captured or written.
TEST(ManifestExport, ANameNoAssemblyCanHaveIsRefused) {
    testsupport::TempDir dir;
    const std::string component = dir / VELQUIST_CREATABLE_DLL;
    ASSERT_TRUE(testsupport::CopyTo(testsupport::ComponentPath(VELQUIST_CREATABLE_DLL), component));
    const RunRequest request{RunRequest::Mode::SingleFile, component, false, true, false, RunRequest::Task::Manifest,
                             dir / "My Controls.manifest"};
    testsupport::RecordingList list;
    std::string told;
    const velquist::RunSummary summary =
        velquist::Execute(request, testsupport::Runners(), list, [&](const std::string& message) { told = message; });
    EXPECT_NE(told.find("My Controls.manifest"), std::string::npos) << told;
    EXPECT_EQ(velquist::ExitCodeOf(summary), velquist::kExitFailed);
    EXPECT_TRUE(list.lines.empty());
    EXPECT_EQ(::GetFileAttributesA(request.target.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
