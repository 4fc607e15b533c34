// The runner's class test: each item made on the thread of its apartment, its reply written as it ends,
// and a fault while it is made told as that item's crash.
#include "runner/RunnerTest.h"

#include <delayimp.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "runner/PipeIo.h"
#include "runner/RunnerProtocol.h"
#include "runner/RunnerQuiet.h"
#include "runner/TestItems.h"
#include "win32/Handles.h"

namespace runner {
namespace {

constexpr DWORD kDelayModule = VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND);
constexpr DWORD kDelayFunction = VcppException(ERROR_SEVERITY_ERROR, ERROR_PROC_NOT_FOUND);

// The library (and function) of the last delay-load failure seen while an item was made. A vectored
// handler notes it at first chance, on whichever thread (the component may handle the exception
// itself), so that the item's reply can name what was missing. Exceptions are the process's, and the
// handler gets no context of ours: this one note is the process's too.
struct DelayLoadNote {
    std::atomic<bool> seen{false};
    char library[MAX_PATH] = {};
    char function[MAX_PATH] = {};
};
DelayLoadNote note;

// Whether `size` bytes at `address` can be read: a component's exception record may point anywhere.
bool Readable(const void* address, std::size_t size) {
    MEMORY_BASIC_INFORMATION info{};
    if (address == nullptr || ::VirtualQuery(address, &info, sizeof info) != sizeof info) return false;
    if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) return false;
    return static_cast<const char*>(address) + size <= static_cast<const char*>(info.BaseAddress) + info.RegionSize;
}

// A name of at most size - 1 characters from memory that may not be readable ("" when it is not).
void CopyName(const char* from, char* to, std::size_t size) {
    std::size_t length = 0;
    while (length + 1 < size && Readable(from + length, 1) && from[length] != '\0') {
        to[length] = from[length];
        ++length;
    }
    to[length] = '\0';
}

LONG CALLBACK NoteDelayLoad(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
    if (record == nullptr || (record->ExceptionCode != kDelayModule && record->ExceptionCode != kDelayFunction) ||
        record->NumberParameters < 1) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const auto* info = reinterpret_cast<const DelayLoadInfo*>(record->ExceptionInformation[0]);
    if (!Readable(info, sizeof *info)) return EXCEPTION_CONTINUE_SEARCH;
    CopyName(info->szDll, note.library, sizeof note.library);
    note.function[0] = '\0';
    if (record->ExceptionCode == kDelayFunction) {
        if (info->dlp.fImportByName) {
            CopyName(info->dlp.szProcName, note.function, sizeof note.function);
        } else {
            std::snprintf(note.function, sizeof note.function, "#%lu", static_cast<unsigned long>(info->dlp.dwOrdinal));
        }
    }
    note.seen = note.library[0] != '\0';
    return EXCEPTION_CONTINUE_SEARCH;
}

// The noted library as a reply's detail (EncodeDetail's form: library, function, needed-by, each
// ended by a NUL), written into `out` without allocating; its length, 0 for none.
std::size_t EncodeNote(char* out, std::size_t size) {
    if (!note.seen) return 0;
    const std::size_t library = std::strlen(note.library);
    const std::size_t function = std::strlen(note.function);
    if (library + function + 3 > size) return 0;
    std::memcpy(out, note.library, library + 1);
    std::memcpy(out + library + 1, note.function, function + 1);
    out[library + function + 2] = '\0';  // needed by: not known
    return library + function + 3;
}

// Writes a reply and the noted library after it, in one write and without allocating.
bool WriteReply(HANDLE pipe, Answer answer, DWORD code, bool withNote) noexcept {
    char message[sizeof(Reply) + 2 * MAX_PATH + 3];
    const std::size_t detail = withNote ? EncodeNote(message + sizeof(Reply), sizeof message - sizeof(Reply)) : 0;
    Reply reply;
    reply.answer = answer;
    reply.code = code;
    reply.detailBytes = static_cast<std::uint32_t>(detail);
    std::memcpy(message, &reply, sizeof reply);
    return WriteAll(pipe, message, static_cast<DWORD>(sizeof reply + detail));
}

// While an item is made: a fault nobody handles is that item's crash, told to the program before the
// runner ends (the main thread is waiting for the item then, so the pipe is free).
class CrashReport : public FaultWitness {
public:
    explicit CrashReport(HANDLE pipe) noexcept : pipe_(pipe) { SetFaultWitness(this); }
    ~CrashReport() { SetFaultWitness(nullptr); }
    CrashReport(const CrashReport&) = delete;
    CrashReport& operator=(const CrashReport&) = delete;
    void Witness(unsigned long code) noexcept override { WriteReply(pipe_, Answer::ItemCrashed, code, true); }

private:
    HANDLE pipe_;
};

HRESULT MakeItem(const TestItem& item) {
    GUID id;
    std::memcpy(&id, item.id.data(), sizeof id);
    switch (item.kind) {
        case TestItem::Kind::Class: {
            win32::com_ptr<IUnknown> object;
            return ::CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void());
        }
        case TestItem::Kind::ProxyStub: {
            win32::com_ptr<IPSFactoryBuffer> factory;
            return ::CoGetClassObject(id, CLSCTX_INPROC_SERVER, nullptr, IID_IPSFactoryBuffer, factory.put_void());
        }
        case TestItem::Kind::TypeLib: {
            win32::com_ptr<ITypeLib> library;
            return ::LoadRegTypeLib(id, item.major, item.minor, item.lcid,
                                    reinterpret_cast<ITypeLib**>(library.put_void()));
        }
    }
    return E_INVALIDARG;
}

// The thread of one apartment: it enters the apartment, makes the items handed to it one at a time
// (pumping messages while it waits, as a single-threaded apartment must), and leaves the apartment
// when it is let go.
class ApartmentThread {
public:
    explicit ApartmentThread(TestItem::Apartment apartment) : apartment_(apartment) {
        thread_.reset(::CreateThread(nullptr, 0, &ApartmentThread::Main, this, 0, nullptr));
    }
    // Lets the thread leave its apartment (the component's objects and libraries go then) and waits.
    ~ApartmentThread() {
        quit_ = true;
        ::SetEvent(work_.get());
        if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
    }
    ApartmentThread(const ApartmentThread&) = delete;
    ApartmentThread& operator=(const ApartmentThread&) = delete;

    // Makes the item on this thread: its HRESULT. A thread that ended under it (a component's
    // ExitThread) made nothing.
    HRESULT Make(const TestItem& item) {
        if (!thread_ || !work_ || !done_) return E_OUTOFMEMORY;
        item_ = &item;
        ::SetEvent(work_.get());
        const HANDLE waits[] = {done_.get(), thread_.get()};
        return ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 ? result_ : E_UNEXPECTED;
    }

private:
    static DWORD WINAPI Main(LPVOID parameter) {
        auto& self = *static_cast<ApartmentThread*>(parameter);
        ULONG guarantee = 64 * 1024;  // stack left for the crash report after an overflow
        ::SetThreadStackGuarantee(&guarantee);
        if (self.apartment_ == TestItem::Apartment::Single) {
            const win32::OleScope ole;
            self.Serve(ole.Result());
        } else {
            const win32::ComScope com(COINIT_MULTITHREADED);
            self.Serve(com.Result());
        }
        return 0;
    }

    void Serve(HRESULT entered) {
        const HANDLE work = work_.get();
        for (;;) {
            if (::MsgWaitForMultipleObjectsEx(1, &work, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0) {
                MSG message;
                while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                    ::TranslateMessage(&message);
                    ::DispatchMessageA(&message);
                }
                continue;
            }
            if (quit_) return;
            result_ = FAILED(entered) ? entered : MakeItem(*item_);
            ::SetEvent(done_.get());
        }
    }

    TestItem::Apartment apartment_;
    win32::unique_handle work_{::CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    win32::unique_handle done_{::CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    const TestItem* item_ = nullptr;
    HRESULT result_ = S_OK;
    std::atomic<bool> quit_{false};
    win32::unique_handle thread_;  // last: started once the rest is ready, ended first
};

// The delay-load handler for the length of a request.
class DelayLoadWatch {
public:
    DelayLoadWatch() noexcept : handler_(::AddVectoredExceptionHandler(1, NoteDelayLoad)) {}
    ~DelayLoadWatch() {
        if (handler_ != nullptr) ::RemoveVectoredExceptionHandler(handler_);
    }
    DelayLoadWatch(const DelayLoadWatch&) = delete;
    DelayLoadWatch& operator=(const DelayLoadWatch&) = delete;

private:
    void* handler_;
};

}  // namespace

bool ServeTest(HANDLE pipe, const std::string& text) noexcept {
    try {
        std::string path;
        std::vector<TestItem> items;
        if (!SplitTestText(text, path, items)) {
            WriteReply(pipe, Answer::BadRequest, 0, false);
            return false;
        }
        const DelayLoadWatch watch;
        // An apartment's thread is made when its first item comes, and all are let go before the last
        // reply: what the component does as its objects and libraries go is its own test's.
        std::unique_ptr<ApartmentThread> threads[2];
        for (std::size_t i = 0; i < items.size(); ++i) {
            const TestItem& item = items[i];
            auto& thread = threads[item.apartment == TestItem::Apartment::Multi ? 1 : 0];
            if (!thread) thread = std::make_unique<ApartmentThread>(item.apartment);
            note.seen = false;
            HRESULT hr;
            {
                const CrashReport report(pipe);
                hr = thread->Make(item);
                if (i + 1 == items.size()) {
                    for (auto& each : threads) each.reset();
                }
            }
            if (!WriteReply(pipe, Answer::Made, static_cast<DWORD>(hr), FAILED(hr))) return false;
        }
        return true;
    } catch (...) {  // only allocation can throw here
        return false;
    }
}

}  // namespace runner
