// Clipboard text and the CSV report of the result lines.
#include "results/Report.h"

#include "win32/Handles.h"

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
    error = ERROR_SUCCESS;
    const std::string csv = ReportCsv(lines);
    const std::string temporary = path + ".velquist-" + std::to_string(::GetCurrentProcessId()) + ".tmp";
    {
        win32::unique_handle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (!win32::IsValid(file)) {
            error = ::GetLastError();
            return false;
        }
        DWORD written = 0;
        if (!::WriteFile(file.get(), csv.data(), static_cast<DWORD>(csv.size()), &written, nullptr) ||
            written != csv.size() || !::FlushFileBuffers(file.get())) {
            error = ::GetLastError();
            if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
            file.reset();
            ::DeleteFileA(temporary.c_str());
            return false;
        }
    }
    if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
        ::DeleteFileA(temporary.c_str());
        return false;
    }
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

}  // namespace velquist
