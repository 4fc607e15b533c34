// The program's resources as the system reads them: version and manifest of both programs, icons, shortcuts.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "MainWindowFixture.h"
#include "resource.h"

namespace {

std::string VersionString(const std::vector<char>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || length == 0) {
        return "<missing>";
    }
    return std::string(value);
}

// "a.b.c.d" from a version record's two numbers.
std::string Dotted(DWORD ms, DWORD ls) {
    return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) + "." +
           std::to_string(LOWORD(ls));
}

// The version attribute of the manifest's own assemblyIdentity (the first one; the others name the
// assemblies it depends on).
std::string ManifestVersion(const std::string& exe) {
    HMODULE image = ::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (image == nullptr) return "<not loaded>";
    std::string manifest;
    if (HRSRC found = ::FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {  // RT_MANIFEST
        const auto* data = static_cast<const char*>(::LockResource(::LoadResource(image, found)));
        manifest.assign(data, ::SizeofResource(image, found));
    }
    ::FreeLibrary(image);
    const std::size_t identity = manifest.find("<assemblyIdentity ");
    if (identity == std::string::npos) return "<no identity>";
    const std::size_t end = manifest.find('>', identity);
    const std::size_t version = manifest.find(" version=\"", identity);
    if (version == std::string::npos || version > end) return "<no version>";
    const std::size_t first = version + 10;
    return manifest.substr(first, manifest.find('"', first) - first);
}

// The version record as the system reads it, against project()'s VERSION: its numbers as written,
// its texts "1.01.0001" (the minor in two digits, the build in four), and the description. With
// the manifest's identity too, for the programs themselves.
void ExpectSourceVersion(const std::string& exe, bool manifest) {
    SCOPED_TRACE(exe);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoA(exe.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), VELQUIST_SOURCE_VERSION);
    EXPECT_EQ(Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), VELQUIST_SOURCE_VERSION);
    char text[32] = {};
    std::snprintf(text, sizeof text, "%u.%02u.%04u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(VersionString(block, "FileVersion"), text);
    EXPECT_EQ(VersionString(block, "ProductVersion"), text);
    EXPECT_EQ(VersionString(block, "FileDescription"), "Register your missing dlls");
    if (manifest) {
        EXPECT_EQ(ManifestVersion(exe), VELQUIST_SOURCE_VERSION);
    }
}

TEST(Resources, VersionRecordCarriesVersionAndDescription) {
    char self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    ExpectSourceVersion(self, false);
}

// Both programs of the build folder, this bitness's and the partner build's, carry the same version.
TEST(Resources, BothProgramsCarryTheSourceVersion) {
    for (const char* name : {"velquist.exe", "velquist64.exe"}) {
        ExpectSourceVersion(testsupport::BinDir() + "\\" + name, true);
    }
}

// The sizes an icon resource offers, from its group directory.
std::vector<int> IconSizes(int id) {
    HMODULE self = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(self, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    if (found == nullptr) return {};
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(self, found)));
    const WORD count = *reinterpret_cast<const WORD*>(data + 4);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) sizes.push_back(data[6 + 14 * i] == 0 ? 256 : data[6 + 14 * i]);
    return sizes;
}

struct Census {
    int magenta = 0, green = 0, red = 0, grey = 0, transparent = 0, total = 0;
};

// Counts the kinds of pixel an icon shows, as drawn over nothing.
Census Count(int id, int size) {
    Census census;
    HICON icon = static_cast<HICON>(
        ::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    if (icon == nullptr) return census;
    ICONINFO info{};
    ::GetIconInfo(icon, &info);
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = size;
    bmi.bmiHeader.biHeight = -size;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    std::vector<RGBQUAD> colour(static_cast<size_t>(size) * size);
    std::vector<RGBQUAD> mask(colour.size());
    HDC dc = ::GetDC(nullptr);
    ::GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(size), colour.data(), &bmi, DIB_RGB_COLORS);
    ::GetDIBits(dc, info.hbmMask, 0, static_cast<UINT>(size), mask.data(), &bmi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, dc);
    for (size_t i = 0; i < colour.size(); ++i) {
        const RGBQUAD p = colour[i];
        ++census.total;
        if (mask[i].rgbRed != 0 && p.rgbReserved == 0) {
            ++census.transparent;
            continue;
        }
        if (p.rgbRed > 140 && p.rgbBlue > 140 && p.rgbGreen < 90) ++census.magenta;
        if (p.rgbGreen > 120 && p.rgbRed < 100 && p.rgbBlue < 100) ++census.green;
        if (p.rgbRed > 150 && p.rgbGreen < 80 && p.rgbBlue < 80) ++census.red;
        if (p.rgbRed == p.rgbGreen && p.rgbGreen == p.rgbBlue && p.rgbRed > 40 && p.rgbRed < 200) ++census.grey;
    }
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
    return census;
}

TEST(Resources, IconsShowWhatTheyStandFor) {
    EXPECT_EQ(IconSizes(IDI_PROGRAM), (std::vector<int>{32, 16}));
    EXPECT_EQ(IconSizes(IDI_PROGRAM_SHADOW), (std::vector<int>{32, 16}));
    EXPECT_EQ(IconSizes(IDI_CHECK), (std::vector<int>{16}));
    EXPECT_EQ(IconSizes(IDI_CROSS), (std::vector<int>{16}));

    for (int size : {32, 16}) {
        SCOPED_TRACE(size);
        const Census cube = Count(IDI_PROGRAM, size);
        EXPECT_GT(cube.magenta, cube.total / 4);
        EXPECT_GT(cube.transparent, cube.total / 8);  // a shape, not a square
        EXPECT_EQ(cube.grey, 0);
        const Census shadowed = Count(IDI_PROGRAM_SHADOW, size);
        EXPECT_GT(shadowed.magenta, shadowed.total / 4);
        EXPECT_GT(shadowed.grey + (cube.transparent - shadowed.transparent), 0);
        EXPECT_LT(shadowed.transparent, cube.transparent);  // the shadow covers more of the square
    }
    const Census check = Count(IDI_CHECK, 16);
    EXPECT_GT(check.green, 20);
    EXPECT_EQ(check.red + check.magenta, 0);
    const Census cross = Count(IDI_CROSS, 16);
    EXPECT_GT(cross.red, 20);
    EXPECT_EQ(cross.green + cross.magenta, 0);
}

// F1 for Contents, Ctrl+S for Save and Ctrl+Z for Undo last run from the resource, then each task's: Ctrl+K, Ctrl+T and Ctrl+E for
// Check, Test and Export, Ctrl+B for Find broken registrations.
using Shortcuts = testsupport::MainWindowFixture;
TEST_F(Shortcuts, OfTheMainWindow) {
    HACCEL table = form.Accelerators();
    ASSERT_NE(table, nullptr);
    ACCEL entries[8] = {};
    const struct {
        WORD key, cmd;
        BYTE modifiers;
    } expected[] = {{VK_F1, IDM_CONTENTS, FVIRTKEY},
                    {'S', IDM_SAVE, FVIRTKEY | FCONTROL},
                    {'Z', IDM_UNDO, FVIRTKEY | FCONTROL},
                    {'K', IDM_CHECK, FVIRTKEY | FCONTROL},
                    {'T', IDM_TEST, FVIRTKEY | FCONTROL},
                    {'E', IDM_EXPORT, FVIRTKEY | FCONTROL},
                    {'B', IDM_SCAN, FVIRTKEY | FCONTROL}};
    ASSERT_EQ(::CopyAcceleratorTableA(table, entries, 8), static_cast<int>(std::size(expected)));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(entries[i].key, expected[i].key) << i;
        EXPECT_EQ(entries[i].cmd, expected[i].cmd) << i;
        EXPECT_EQ(entries[i].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), expected[i].modifiers) << i;
    }
}

}  // namespace
