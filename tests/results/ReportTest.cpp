// The result lines handed on: the clipboard's text and the CSV report, byte for byte and read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "results/Report.h"

namespace {

using velquist::ResultLine;

const std::string kUmlautPath = "C:\\M\xC3\xBCller, \"Alt\"\\k\xC3\xB6mp.ocx";  // a comma, quotes, non-ASCII

std::vector<ResultLine> SampleRun() {
    return {velquist::SuccessLine(true, "C:\\a.dll", "DllRegisterServer succeeded."),
            velquist::FailedLine(kUmlautPath, "DllRegisterServer failed: Access is denied. (0x80070005)"),
            velquist::FailedLine("C:\\b.dll"),  // no detail
            velquist::ClosingLine(true, false, "1 registered, 2 failed, 3 files checked in 0.1 s.")};
}

// Reads a CSV back by RFC 4180's rules: rows of fields.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                rows.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                rows.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.emplace_back(1);
            ++i;
        } else {
            rows.back().back() += c;
        }
    }
    if (rows.back() == std::vector<std::string>(1)) rows.pop_back();
    return rows;
}

TEST(Report, CsvHasABomAHeaderAndOneQuotedRowPerLine) {
    const std::string csv = velquist::ReportCsv(SampleRun());
    ASSERT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
    const auto rows = ParseCsv(csv.substr(3));
    const std::vector<std::vector<std::string>> expected = {
        {"Result", "File", "Detail"},
        {"Registered", "C:\\a.dll", "DllRegisterServer succeeded."},
        {"Failed", kUmlautPath, "DllRegisterServer failed: Access is denied. (0x80070005)"},
        {"Failed", "C:\\b.dll", ""},
        {"Completed", "", "1 registered, 2 failed, 3 files checked in 0.1 s."},
    };
    EXPECT_EQ(rows, expected);
    // The unquoted path needs no quotes; the other one is quoted whole, its quotes doubled.
    EXPECT_NE(csv.find("\"C:\\M\xC3\xBCller, \"\"Alt\"\"\\k\xC3\xB6mp.ocx\""), std::string::npos);

    const auto stopped = velquist::ReportCsv({velquist::ClosingLine(false, true), velquist::SuccessLine(false, "x")});
    EXPECT_EQ(stopped, "\xEF\xBB\xBF" "Result,File,Detail\r\nStopped,,\r\nUnregistered,x,\r\n");
}

TEST(Report, ClipboardTextIsTextTabDetailPerRow) {
    const std::vector<ResultLine> lines = SampleRun();
    const std::wstring expected = L"Registered : C:\\a.dll\tDllRegisterServer succeeded.\r\n"
                                  L"Failed : C:\\M\u00fcller, \"Alt\"\\k\u00f6mp.ocx\tDllRegisterServer failed: Access is "
                                  L"denied. (0x80070005)\r\n"
                                  L"Failed : C:\\b.dll\t\r\n"
                                  L"Register operation completed\t1 registered, 2 failed, 3 files checked in 0.1 s.";
    EXPECT_EQ(velquist::ClipboardText(lines), expected);
    EXPECT_EQ(velquist::ClipboardText({}), L"");
}

TEST(Report, SavingReplacesAFileWholeOrLeavesEverythingAsItWas) {
    testsupport::TempDir dir;
    DWORD error = 0;
    const std::string target = dir / "r\xC3\xA9sultats.csv";
    ASSERT_TRUE(testsupport::WriteBytes(target, "old"));
    ASSERT_TRUE(velquist::SaveReport(target, SampleRun(), error)) << error;
    EXPECT_EQ(testsupport::ReadBytes(target), velquist::ReportCsv(SampleRun()));

    // Into a folder that does not exist: an error, and nothing written anywhere.
    EXPECT_FALSE(velquist::SaveReport(dir / "missing\\r.csv", SampleRun(), error));
    EXPECT_NE(error, 0u);
    // Over something that cannot be replaced (a folder): it stays, and no temporary file is left.
    const std::string folder = dir / "taken.csv";
    ASSERT_TRUE(testsupport::MakeDirs(folder));
    EXPECT_FALSE(velquist::SaveReport(folder, SampleRun(), error));
    EXPECT_NE(::GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    WIN32_FIND_DATAA found;
    int files = 0;
    HANDLE find = ::FindFirstFileA((dir / "*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    EXPECT_EQ(files, 1);  // the report, nothing else
}

}  // namespace
