// Reading back the .reg files the program writes (regedit's format, version 5.00) and importing them
// as regedit does: the hand-over of an undo to an instance with administrator rights.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "inspect/Capture.h"

namespace velquist {

// One change a .reg file asks for, its key named in full ("HKEY_LOCAL_MACHINE\SOFTWARE\...").
struct RegEdit {
    enum class Kind { DeleteKey, MakeKey, SetValue, DeleteValue };
    Kind kind = Kind::MakeKey;
    std::wstring key;
    capture::Value value;  // SetValue: the value; DeleteValue: its name
    friend bool operator==(const RegEdit&, const RegEdit&) = default;
};

// The changes between one comment that follows a blank line and the next: the files the program
// writes begin each component's changes so, with its path.
struct RegSection {
    std::wstring comment;  // the comment's text after "; " ("" before the first such comment)
    std::vector<RegEdit> edits;
};

// The sections of a .reg file's text. False, with `why` naming the line, when it does not start with
// "Windows Registry Editor Version 5.00" or holds a line that is neither a key, a value nor a comment.
bool ParseRegText(const std::wstring& text, std::vector<RegSection>& sections, std::string& why);

// A .reg file's text: UTF-16LE after its byte-order mark, else the ANSI code page's. False with the
// system error when it cannot be read.
bool ReadRegFile(const std::string& path, std::wstring& text, DWORD& error);

// Makes the changes in order, as regedit does: in the 64-bit view, where a WOW6432Node in a name
// reaches the 32-bit one. A key or value to delete that is not there is no error. ERROR_SUCCESS, or
// the first error met (the rest are still made).
LONG ApplyRegEdits(const std::vector<RegEdit>& edits);

}  // namespace velquist
