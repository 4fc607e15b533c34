// The elements of a registration-free assembly manifest, as XML text in UTF-8: a class, type library
// or interface written as its registration reads.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "inspect/ComRegistration.h"

namespace check {

// How every line of a manifest ends.
inline constexpr const char* kManifestLineEnd = "\r\n";

// Text as XML 1.0 takes it, in UTF-8: markup characters escaped (in attributes also the quote and the
// line breaks and tabs a parser would fold into blanks); characters XML cannot hold at all (other
// control characters, unpaired surrogates, U+FFFE and U+FFFF) left out.
std::string Xml(std::wstring_view text);
// ` name="value"`; nothing for an empty value unless it is always written.
std::string Attribute(const char* name, std::wstring_view value, bool always = false);

// The comClass element of a class its own file serves: its threading model as a manifest spells it
// (left out for the main apartment), the first of progIds as its attribute and the others as children,
// its MiscStatus as OLEMISC words; bits that have no word are named in notCarried.
std::string ClassElement(const ComClass& entry, const std::vector<std::wstring>& progIds,
                         std::vector<std::string>& notCarried);
// A type library's registered file split from a resource number after it ("C:\app\x.dll\2").
std::pair<std::wstring, std::wstring> LibraryFile(const std::wstring& registered);
// The typelib element: the version in decimal, helpdir always written, flags as words.
std::string LibraryElement(const ComLibrary& library, const std::wstring& helpDir, const std::wstring& resource);
// comInterfaceProxyStub (in the file that serves its proxy/stub class) or comInterfaceExternalProxyStub
// (under the assembly).
std::string InterfaceElement(const ComInterface& entry, bool ownProxy);

}  // namespace check
