// The result lines handed on: as clipboard text, and as a CSV report written to a file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "results/ResultList.h"
#include "win32/Text.h"

namespace velquist {

// Unicode text, one line per row: its text, a tab, its detail; CR LF between rows, none after the last.
std::wstring ClipboardText(const std::vector<ResultLine>& lines);

// The report: UTF-8 with a byte-order mark, CR LF line ends, quoted as RFC 4180 asks; a header row
// "Result,File,Detail", then one row per line in order.
std::string ReportCsv(const std::vector<ResultLine>& lines);

// Writes the report to path whole or not at all: into a new file beside it, then put in its place.
// False with the system error when it could not be written (nothing is left behind then).
bool SaveReport(const std::string& path, const std::vector<ResultLine>& lines, DWORD& error);

// Text in the program's code page as UTF-16 (the one conversion every room shares) and as UTF-8.
using win32::Wide;
std::string Utf8(const std::string& text);

}  // namespace velquist
