// Clipboard text and the CSV report of the result lines.
#include "results/Report.h"

#include "results/SaveWhole.h"

namespace velquist {
namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break, quotes doubled.
std::string Field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

std::string Utf8(const std::string& text) {
    const std::wstring wide = Wide(text);
    if (wide.empty()) return {};
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring ClipboardText(const std::vector<ResultLine>& lines) {
    std::wstring text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += L"\r\n";
        text += Wide(lines[i].Text()) + L"\t" + Wide(lines[i].detail);
    }
    return text;
}

std::string ReportCsv(const std::vector<ResultLine>& lines) {
    std::string csv = "\xEF\xBB\xBF" "Result,File,Detail\r\n";
    for (const ResultLine& line : lines) {
        csv += std::string(ResultName(line.kind)) + "," + Field(Utf8(line.path)) + "," + Field(Utf8(line.detail)) + "\r\n";
    }
    return csv;
}

bool SaveReport(const std::string& path, const std::vector<ResultLine>& lines, DWORD& error) {
    return SaveWhole(path, ReportCsv(lines), error);
}

}  // namespace velquist
