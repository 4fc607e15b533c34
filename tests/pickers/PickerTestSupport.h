// What the picker tests share: COM on the test thread, an owner window, the main window's arguments.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <string>

#include "win32/Handles.h"

namespace pickertest {

// The filter list, initial directory, title and prompt the main window passes.
inline const std::string kComponentFilter(
    "ActiveX Files (*.dll, *.ocx)\0*.DLL; *.ocx\0All Files (*.*)\0*.*\0", 61);
inline const std::string kInitialDir = "C:\\";
inline const std::string kTitle = "Select component";
inline const std::string kPrompt = "Select directory containing ActiveX controls";

// Each test runs in a COM apartment, as the program's thread does, with a plain visible top-level
// window standing in for the main window as the dialogs' owner.
class PickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        owner_.reset(::CreateWindowExA(0, "STATIC", "Velquist", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                                       300, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr));
        ASSERT_NE(owner_.get(), nullptr);
    }
    void TearDown() override {
        owner_.reset();
        ::CoUninitialize();
    }
    HWND Owner() const { return static_cast<HWND>(owner_.get()); }

private:
    win32::unique_hwnd owner_;
};

}  // namespace pickertest
