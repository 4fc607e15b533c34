// The .reg files of captured registrations: the one that registers them and the one that removes them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/Capture.h"

namespace velquist {

// The full name of the key a captured key is written to on 64-bit Windows: a 32-bit component's
// redirected classes (CLSID, Interface, DirectShow, Media Type, MediaFoundation) and its
// HKEY_LOCAL_MACHINE\Software keys go to the WOW6432Node view; classes go under HKEY_CURRENT_USER
// when perUser, under HKEY_LOCAL_MACHINE otherwise.
std::wstring PlacedKey(capture::Root root, const std::wstring& path, std::uint16_t machine, bool perUser);

// Whether the component owns the key outright, so that removing its registration removes it whole
// with all below it: a class, interface, type library or AppID by its GUID, or a ProgID (a top-level
// class key with a CLSID key of its own in the capture). File extensions and the 32-bit view's root
// are shared even when they hold a CLSID key.
bool IsOwnKey(const capture::Key& key, const capture::Capture& capture);

// One value as regedit writes it: "name"=data (@= for the default value), strings quoted, the rest as
// dword: or hex bytes wrapped before 80 columns. No line end after it. A value whose name holds a
// line break cannot be written in a .reg file: it becomes a comment saying it was left out.
std::wstring ValueLine(const capture::Value& value);
// The line that deletes the value `name` ("name"=-, @=- for the default value); the same comment as
// ValueLine's for a name with a line break.
std::wstring DeletedValueLine(const std::wstring& name);

// The .reg file that registers the captures (components in the order given, each one's keys in
// capture order) and the one that removes them: text whose lines end in CR LF, for SaveRegFile.
// date is shown in the header comment.
std::wstring RegistrationText(const std::vector<capture::Capture>& captures, bool perUser, const std::wstring& date);
std::wstring RemovalText(const std::vector<capture::Capture>& captures, bool perUser, const std::wstring& date);

// The registry's UTF-16LE bytes of text, and the text of such bytes (an odd last byte dropped).
std::string Utf16Bytes(std::wstring_view units);
std::wstring Utf16Units(const std::string& bytes);

// Writes the text as UTF-16LE with a byte-order mark, whole or not at all. False with the system
// error when it could not be written (nothing is left behind then).
bool SaveRegFile(const std::string& path, const std::wstring& text, DWORD& error);

}  // namespace velquist
