// Silent mode: the console, the lines as they come, the report, the exit code.
#include "app/Silent.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "tasks/Commands.h"
#include "tasks/UndoRun.h"
#include "results/Report.h"
#include "win32/Handles.h"

namespace velquist {
namespace {

// The console the program was started from, or wherever its standard output was sent. A program
// with a window has no console of its own: it borrows its parent's.
class Console {
public:
    Console() {
        output_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (output_ == nullptr || output_ == INVALID_HANDLE_VALUE) {
            output_ = nullptr;
            if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
                owned_.reset(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
                if (win32::IsValid(owned_)) output_ = owned_.get();
            }
        }
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Writes text and a line end: as Unicode to a real console, as UTF-8 to a file or pipe.
    void WriteLine(const std::string& text) {
        if (output_ == nullptr) return;
        DWORD mode = 0;
        if (::GetConsoleMode(output_, &mode)) {
            const std::wstring wide = Wide(text) + L"\r\n";
            DWORD written = 0;
            ::WriteConsoleW(output_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            const std::string bytes = Utf8(text) + "\r\n";
            DWORD written = 0;
            ::WriteFile(output_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }

private:
    HANDLE output_ = nullptr;
    win32::unique_handle owned_;
};

// Keeps the lines for the report and writes each to the console as it comes.
class ConsoleList : public ResultList {
public:
    explicit ConsoleList(Console& console) : console_(console) {}
    void Clear() override { lines.clear(); }
    int Count() const override { return static_cast<int>(lines.size()); }
    void Add(const std::string&, const ResultLine& line) override {
        lines.push_back(line);
        console_.WriteLine(line.Text() + "\t" + line.detail);
    }
    std::vector<ResultLine> lines;

private:
    Console& console_;
};

// Ctrl+C and Ctrl+Break on the console stop a silent run as Esc stops one in the window; the handler
// runs on a thread of the system's, so the run polls the flag.
std::atomic<bool> g_stopAsked{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    g_stopAsked = true;
    return TRUE;
}

class ConsoleRun final : public RunControl {
public:
    explicit ConsoleRun(undo::RunRecord* record) : record_(record) {}
    bool StopRequested() override { return g_stopAsked.load(); }
    undo::RunRecord* UndoRecord() override { return record_; }

private:
    undo::RunRecord* record_;
};

}  // namespace

int RunSilent(const CommandLine& line) {
    Console console;
    if (!line.valid) {
        console.WriteLine(line.error);
        console.WriteLine(Usage());
        return kExitBadCommandLine;
    }
    const RunRequest request = RequestFrom(line);
    registration::Session session;
    ConsoleList list(console);
    // No record without /undo: a plain run costs what it always has.
    std::unique_ptr<UndoFile> undoFile;
    if (!line.undoFile.empty()) {
        undoFile = std::make_unique<UndoFile>(line.undoFile);
        std::string why;
        if (!undoFile->Start(why)) {
            console.WriteLine(why);
            return kExitFailed;
        }
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    ConsoleRun run(undoFile.get());
    const RunSummary summary = Execute(
        request, session, list,
        [&console](const std::string& message) {
            // One line on the console: the paragraphs of a message joined by a tab, as text and detail are.
            std::string text;
            for (size_t i = 0; i < message.size(); ++i) {
                if (message[i] == '\n' && i + 1 < message.size() && message[i + 1] == '\n') {
                    text += '\t';
                    ++i;
                } else {
                    text += message[i];
                }
            }
            console.WriteLine(text);
        },
        &run);
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    int code = ExitCodeOf(summary);
    if (!line.report.empty()) {
        DWORD error = ERROR_SUCCESS;
        if (!SaveReport(line.report, list.lines, error)) {
            console.WriteLine("The report could not be written to " + line.report + " (error " + std::to_string(error) +
                              ").");
            if (code == kExitSucceeded) code = kExitFailed;
        }
    }
    return code;
}

}  // namespace velquist
