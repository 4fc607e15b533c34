// Text between the program's code page (UTF-8 under its manifest) and UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

// UTF-16 text in the program's code page; characters it lacks become the system's default character.
std::string Narrow(std::wstring_view wide);
// Text in the program's code page as UTF-16.
std::wstring Wide(std::string_view text);

// One argument quoted so that the system's rules (CommandLineToArgvW) read it back unchanged: in
// quotes, with the backslashes before a quote, or before the closing quote, doubled.
std::string QuoteArgument(const std::string& argument);

}  // namespace win32
