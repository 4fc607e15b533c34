// The registration-free manifest made of captured registrations: each element and attribute in its
// parent, the numbers as a manifest spells them, escaping, and the rules that keep a manifest one
// Windows accepts (one bitness, files below its folder, nothing defined twice). Wine takes misplaced
// elements that Windows refuses, so this table, not the round trip under Wine, checks the schema.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "inspect/ManifestWriter.h"

namespace {

capture::Value Text(const std::wstring& name, const std::wstring& text) {
    const std::wstring stored = text + L'\0';
    return {name, REG_SZ, std::string(reinterpret_cast<const char*>(stored.data()), stored.size() * sizeof(wchar_t))};
}

capture::Key Classes(const std::wstring& path, std::vector<capture::Value> values = {}) {
    return {capture::Root::Classes, path, std::move(values), false};
}

check::ManifestComponent Component(const std::string& file, std::vector<capture::Key> keys,
                                   std::uint16_t machine = IMAGE_FILE_MACHINE_I386) {
    check::ManifestComponent component;
    component.captured.file = file;
    component.captured.machine = machine;
    component.captured.keys = std::move(keys);
    return component;
}

// The text between the opening that starts with `open` and the next `close` after it; "" when absent.
std::string Within(const std::string& text, const std::string& open, const std::string& close) {
    const auto start = text.find(open);
    if (start == std::string::npos) return {};
    const auto end = text.find(close, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end + close.size() - start);
}

const std::wstring kClass = L"{11111111-2222-3333-4444-555555555501}";
const std::wstring kProxy = L"{11111111-2222-3333-4444-555555555502}";
const std::wstring kLib = L"{11111111-2222-3333-4444-5555555555AA}";
const std::wstring kLib2 = L"{11111111-2222-3333-4444-5555555555AB}";
const std::wstring kOwnIid = L"{11111111-2222-3333-4444-5555555555C1}";
const std::wstring kExtIid = L"{11111111-2222-3333-4444-5555555555C2}";
const std::wstring kAutomation = L"{00020424-0000-0000-C000-000000000046}";

// A control with all a manifest can say of it, and some it cannot.
check::ManifestComponent Control() {
    return Component("C:\\App\\bin\\thing.ocx", {
        Classes(L"CLSID\\" + kClass, {Text(L"", L"Thing <control> & \"more\"\x01")}),
        Classes(L"CLSID\\" + kClass + L"\\InprocServer32", {Text(L"", L"C:\\APP\\BIN\\THING.OCX"), Text(L"ThreadingModel", L"apartment")}),
        Classes(L"CLSID\\" + kClass + L"\\ProgID", {Text(L"", L"App.Thing.1")}),
        Classes(L"CLSID\\" + kClass + L"\\VersionIndependentProgID", {Text(L"", L"App.Thing")}),
        Classes(L"CLSID\\" + kClass + L"\\TypeLib", {Text(L"", kLib)}),
        Classes(L"CLSID\\" + kClass + L"\\MiscStatus", {Text(L"", L"0")}),
        Classes(L"CLSID\\" + kClass + L"\\MiscStatus\\1", {Text(L"", L"131473")}),  // 0x20191
        Classes(L"CLSID\\" + kClass + L"\\Implemented Categories"),
        Classes(L"CLSID\\" + kClass + L"\\LocalServer32", {Text(L"", L"C:\\App\\thing.exe")}),
        Classes(L"CLSID\\" + kProxy + L"\\InprocServer32", {Text(L"", L"C:\\App\\bin\\thing.ocx"), Text(L"ThreadingModel", L"Both")}),
        Classes(L"App.Thing.1", {Text(L"", L"Thing")}),
        Classes(L"App.Thing.1\\CLSID", {Text(L"", kClass)}),
        Classes(L"App.Thing", {Text(L"", L"Thing")}),
        Classes(L"App.Thing\\CLSID", {Text(L"", kClass)}),
        Classes(L"App.Thing\\CurVer", {Text(L"", L"App.Thing.1")}),
        Classes(L"Thing.Old", {Text(L"", L"Thing")}),
        Classes(L"Thing.Old\\CLSID", {Text(L"", kClass)}),
        Classes(L".thg", {Text(L"", L"App.Thing")}),
        Classes(L"TypeLib\\" + kLib + L"\\1.a", {Text(L"", L"Thing library")}),
        Classes(L"TypeLib\\" + kLib + L"\\1.a\\0\\win32", {Text(L"", L"C:\\App\\bin\\thing.ocx\\2")}),
        Classes(L"TypeLib\\" + kLib + L"\\1.a\\0\\win64", {Text(L"", L"C:\\App\\bin\\thing64.ocx")}),
        Classes(L"TypeLib\\" + kLib + L"\\1.a\\FLAGS", {Text(L"", L"6")}),
        Classes(L"TypeLib\\" + kLib + L"\\1.a\\HELPDIR", {Text(L"", L"C:\\App\\help")}),
        Classes(L"TypeLib\\" + kLib2 + L"\\2.0\\409\\win32", {Text(L"", L"C:\\App\\types\\extra.tlb")}),
        Classes(L"Interface\\" + kOwnIid, {Text(L"", L"IThingInternal")}),
        Classes(L"Interface\\" + kOwnIid + L"\\ProxyStubClsid32", {Text(L"", kProxy)}),
        Classes(L"Interface\\" + kOwnIid + L"\\NumMethods", {Text(L"", L"5")}),
        Classes(L"Interface\\" + kExtIid, {Text(L"", L"IThing")}),
        Classes(L"Interface\\" + kExtIid + L"\\ProxyStubClsid32", {Text(L"", kAutomation)}),
        Classes(L"Interface\\" + kExtIid + L"\\TypeLib", {Text(L"", kLib), Text(L"Version", L"1.a")}),
        Classes(L"Interface\\" + kExtIid + L"\\BaseInterface", {Text(L"", L"{00020400-0000-0000-C000-000000000046}")}),
        {capture::Root::LocalMachine, L"Software\\App", {Text(L"Path", L"C:\\App")}, false},
    });
}

TEST(ManifestWriter, EachElementAndAttributeInItsParent) {
    check::ManifestBuilder manifest("C:\\App\\App.Controls.manifest");
    const check::ManifestEntry entry = manifest.Add(Control());
    ASSERT_TRUE(entry.taken) << entry.detail;
    EXPECT_EQ(entry.detail,
              "2 classes, 2 type libraries and 2 interfaces in the manifest. Not in the manifest: the out-of-process "
              "server of class " + std::string("{11111111-2222-3333-4444-555555555501}") +
                  ", the categories of class {11111111-2222-3333-4444-555555555501}, 1 key outside the classes and "
                  "the file association .thg.");
    const std::string text = manifest.Text();
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                         "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
                         "  <assemblyIdentity type=\"win32\" name=\"App.Controls\" version=\"1.0.0.0\" "
                         "processorArchitecture=\"x86\"/>\r\n",
                         0),
              0u)
        << text;
    const std::string own = Within(text, "<file name=\"bin\\thing.ocx\">", "</file>");
    ASSERT_FALSE(own.empty()) << text;
    // The class: its model as a manifest spells it, every ProgID, its library, its description
    // escaped (the control character left out), its content aspect as OLEMISC words; the default
    // MiscStatus of 0 says nothing.
    EXPECT_NE(own.find("<comClass clsid=\"{11111111-2222-3333-4444-555555555501}\" threadingModel=\"Apartment\" "
                       "progid=\"App.Thing.1\" tlbid=\"{11111111-2222-3333-4444-5555555555AA}\" "
                       "description=\"Thing &lt;control&gt; &amp; &quot;more&quot;\" "
                       "miscStatusContent=\"recomposeonresize,cantlinkinside,insideout,activatewhenvisible,"
                       "setclientsitefirst\">\r\n"
                       "      <progid>App.Thing</progid>\r\n      <progid>Thing.Old</progid>\r\n    </comClass>"),
              std::string::npos)
        << own;
    EXPECT_EQ(own.find("miscStatus=\""), std::string::npos);
    EXPECT_NE(own.find("<comClass clsid=\"" "{11111111-2222-3333-4444-555555555502}\" threadingModel=\"Both\"/>"), std::string::npos);
    // The library from this bitness's file (a resource of the control itself), its version in decimal.
    EXPECT_NE(own.find("<typelib tlbid=\"{11111111-2222-3333-4444-5555555555AA}\" version=\"1.10\" helpdir=\"help\" "
                       "flags=\"CONTROL,HIDDEN\" resourceid=\"2\"/>"),
              std::string::npos)
        << own;
    EXPECT_NE(own.find("<comInterfaceProxyStub iid=\"{11111111-2222-3333-4444-5555555555C1}\" name=\"IThingInternal\" "
                       "proxyStubClsid32=\"{11111111-2222-3333-4444-555555555502}\" numMethods=\"5\"/>"),
              std::string::npos)
        << own;
    // A library in a file of its own gets that file's element; the automation-marshalled interface
    // goes under the assembly, after the files.
    EXPECT_NE(Within(text, "<file name=\"types\\extra.tlb\">", "</file>")
                  .find("<typelib tlbid=\"{11111111-2222-3333-4444-5555555555AB}\" version=\"2.0\" helpdir=\"\"/>"),
              std::string::npos)
        << text;
    const auto external = text.find("  <comInterfaceExternalProxyStub iid=\"{11111111-2222-3333-4444-5555555555C2}\" "
                                    "name=\"IThing\" tlbid=\"{11111111-2222-3333-4444-5555555555AA}\" "
                                    "proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\" "
                                    "baseInterface=\"{00020400-0000-0000-C000-000000000046}\"/>\r\n</assembly>\r\n");
    EXPECT_NE(external, std::string::npos) << text;
    EXPECT_GT(external, text.rfind("</file>"));
}

// The rules a second component meets: each case adds its component after the control above.
TEST(ManifestWriter, ASecondComponentIsTakenOnlyWhereWindowsWouldAcceptTheManifest) {
    const std::wstring other = L"{11111111-2222-3333-4444-555555555509}";
    struct Case {
        const char* name;
        check::ManifestComponent component;
        bool taken;
        std::string detail;
    };
    const auto inproc = [](const std::wstring& id, const std::wstring& file) {
        return Classes(L"CLSID\\" + id + L"\\InprocServer32", {Text(L"", file)});
    };
    const Case cases[] = {
        {"the other bitness", Component("C:\\App\\x64.dll", {inproc(other, L"C:\\App\\x64.dll")}, IMAGE_FILE_MACHINE_AMD64),
         false, "A 64-bit component cannot share a manifest with 32-bit ones; export them from a folder of their own."},
        {"outside the folder", Component("C:\\Other\\y.dll", {inproc(other, L"C:\\Other\\y.dll")}), false,
         "A manifest can only name files in its own folder or below it."},
        {"a class again", Component("C:\\App\\copy.ocx", {inproc(kClass, L"C:\\App\\copy.ocx")}), false,
         "Its class {11111111-2222-3333-4444-555555555501} is already in the manifest from bin\\thing.ocx."},
        {"a ProgID again",
         Component("C:\\App\\y.dll", {inproc(other, L"C:\\App\\y.dll"), Classes(L"CLSID\\" + other + L"\\ProgID", {Text(L"", L"app.thing")})}),
         false, "Its ProgID app.thing is already in the manifest from bin\\thing.ocx."},
        {"a library again",
         Component("C:\\App\\y.dll", {Classes(L"TypeLib\\" + kLib2 + L"\\2.0\\0\\win32", {Text(L"", L"C:\\App\\y.dll")})}),
         false, "Its type library {11111111-2222-3333-4444-5555555555AB} is already in the manifest from bin\\thing.ocx."},
        {"an interface registered otherwise",
         Component("C:\\App\\y.dll", {Classes(L"Interface\\" + kExtIid, {Text(L"", L"IOther")}),
                                      Classes(L"Interface\\" + kExtIid + L"\\ProxyStubClsid32", {Text(L"", kAutomation)})}),
         false, "Its interface {11111111-2222-3333-4444-5555555555C2} is already in the manifest from bin\\thing.ocx."},
        {"the same interface entry, written once",
         Component("C:\\App\\y.dll",
                   {inproc(other, L"C:\\App\\y.dll"), Classes(L"Interface\\" + kExtIid, {Text(L"", L"IThing")}),
                    Classes(L"Interface\\" + kExtIid + L"\\ProxyStubClsid32", {Text(L"", kAutomation)}),
                    Classes(L"Interface\\" + kExtIid + L"\\TypeLib", {Text(L"", kLib)}),
                    Classes(L"Interface\\" + kExtIid + L"\\BaseInterface", {Text(L"", L"{00020400-0000-0000-C000-000000000046}")})}),
         true, "1 class in the manifest."},
        {"nothing registered", Component("C:\\App\\plain.dll", {}), true,
         "It registers nothing a manifest carries; the manifest names its file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        check::ManifestBuilder manifest("C:\\App\\App.manifest");
        ASSERT_TRUE(manifest.Add(Control()).taken);
        const std::string before = manifest.Text();
        const check::ManifestEntry entry = manifest.Add(c.component);
        EXPECT_EQ(entry.taken, c.taken);
        EXPECT_EQ(entry.detail, c.detail);
        EXPECT_EQ(manifest.Taken(), c.taken ? 2u : 1u);
        if (!c.taken) {
            EXPECT_EQ(manifest.Text(), before);  // a refused component adds nothing
        }
    }
}

TEST(ManifestWriter, TheAssemblysNameVersionAndArchitecture) {
    EXPECT_EQ(check::AssemblyNameOf("C:\\App\\My.Controls.MANIFEST"), "My.Controls");
    EXPECT_EQ(check::AssemblyNameOf("C:\\App\\plain"), "plain");
    EXPECT_TRUE(check::ValidAssemblyName("My-Controls_2.x"));
    for (const char* bad : {"", "My Controls", "caf\xC3\xA9", "a/b", "a:b"}) EXPECT_FALSE(check::ValidAssemblyName(bad)) << bad;
    EXPECT_EQ(check::DefaultManifestPath("C:\\Program Files\\My App\\"), "C:\\Program Files\\My App\\My_App.components.manifest");

    // One version shared by every component is the assembly's; any other mix gives 1.0.0.0.
    const auto version = [](std::vector<std::optional<std::array<std::uint16_t, 4>>> versions, std::uint16_t machine) {
        check::ManifestBuilder manifest("C:\\App\\A.manifest");
        int n = 0;
        for (const auto& v : versions) {
            check::ManifestComponent component = Component("C:\\App\\c" + std::to_string(n++) + ".dll", {}, machine);
            component.fileVersion = v;
            manifest.Add(component);
        }
        return Within(manifest.Text(), "<assemblyIdentity", "/>");
    };
    const std::array<std::uint16_t, 4> a{2, 5, 0, 17}, b{2, 5, 0, 18};
    EXPECT_NE(version({a, a}, IMAGE_FILE_MACHINE_AMD64).find("version=\"2.5.0.17\" processorArchitecture=\"amd64\""), std::string::npos);
    EXPECT_NE(version({a, b}, IMAGE_FILE_MACHINE_I386).find("version=\"1.0.0.0\" processorArchitecture=\"x86\""), std::string::npos);
    EXPECT_NE(version({a, std::nullopt}, IMAGE_FILE_MACHINE_I386).find("version=\"1.0.0.0\""), std::string::npos);
}

// Registry text is written as UTF-8; what XML 1.0 cannot hold is left out.
TEST(ManifestWriter, RegistryTextAsUtf8WithoutWhatXmlForbids) {
    check::ManifestBuilder manifest("C:\\App\\A.manifest");
    ASSERT_TRUE(manifest.Add(Component("C:\\App\\x.dll", {Classes(L"CLSID\\" + kClass, {Text(L"", L"Caf\u00E9\x0B\xFFFF\xD800 \U0001F600\tend")}),
                                                             Classes(L"CLSID\\" + kClass + L"\\InprocServer32", {Text(L"", L"C:\\App\\x.dll")})}))
                    .taken);
    EXPECT_NE(manifest.Text().find("description=\"Caf\xC3\xA9 \xF0\x9F\x98\x80&#9;end\""), std::string::npos) << manifest.Text();
}

}  // namespace
