// The scratch key of a capture, read back by root, and the guard over the keys that escape it.
#include "inspect/CaptureKeys.h"

#include <atomic>
#include <map>
#include <system_error>
#include <thread>

#include "runner/RunnerProtocol.h"

namespace registration {
namespace {

constexpr wchar_t kGuardedKey[] = L"Software\\Classes\\Interface";

// Each key read back deleted by its path, children first: one call a key, where deleting the tree
// lists every key again. Whatever is left (written after the read, or never read) goes with the tree.
void DeleteScratch(const std::wstring& root, const std::vector<std::wstring>& read) {
    for (auto path = read.rbegin(); path != read.rend(); ++path) {
        (void)::RegDeleteKeyW(HKEY_CURRENT_USER, path->empty() ? root.c_str() : (root + L'\\' + *path).c_str());
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());
}

std::wstring WideName(const char* name) { return std::wstring(name, name + std::char_traits<char>::length(name)); }

// Strips `prefix` and the separator after it from path; false when path does not start with it.
bool Strip(const std::wstring& path, const std::wstring& prefix, std::wstring& rest) {
    const std::wstring folded = registry::Folded(path);
    const std::wstring head = registry::Folded(prefix);
    if (folded == head) {
        rest.clear();
        return true;
    }
    if (folded.size() > head.size() && folded.compare(0, head.size(), head) == 0 && folded[head.size()] == L'\\') {
        rest = path.substr(head.size() + 1);
        return true;
    }
    return false;
}

// Where a key of the scratch layout was written: false for the scaffolding (the scratch key, its four
// subkeys, the classes keys themselves) and anything the runner does not make.
bool Place(const std::wstring& path, capture::Root& root, std::wstring& rest) {
    std::wstring below;
    if (Strip(path, WideName(runner::kScratchClasses), below)) {
        root = capture::Root::Classes;
        rest = below;
    } else if (Strip(path, WideName(runner::kScratchMachine), below)) {
        root = capture::Root::LocalMachine;
        rest = below;
        if (Strip(below, L"Software\\Classes", rest)) root = capture::Root::Classes;
    } else if (Strip(path, WideName(runner::kScratchUser), below)) {
        root = capture::Root::CurrentUser;
        rest = below;
        if (Strip(below, L"Software\\Classes", rest)) root = capture::Root::Classes;
    } else if (Strip(path, WideName(runner::kScratchUsers), below)) {
        root = capture::Root::Users;
        rest = below;
    } else {
        return false;
    }
    return !rest.empty();
}

}  // namespace

std::vector<capture::Key> KeysByRoot(const std::vector<registry::TreeKey>& scratch) {
    std::vector<capture::Key> keys;
    std::map<std::pair<capture::Root, std::wstring>, std::size_t> index;
    for (const registry::TreeKey& key : scratch) {
        capture::Root root{};
        std::wstring path;
        if (!Place(key.path, root, path)) continue;
        // The runner makes HKEY_LOCAL_MACHINE's Software (for its Classes): not the component's, unless
        // it wrote values there.
        if (root == capture::Root::LocalMachine && registry::Folded(path) == L"SOFTWARE" && key.values.empty()) {
            continue;
        }
        const auto [at, added] = index.emplace(std::make_pair(root, registry::Folded(path)), keys.size());
        if (added) {
            keys.push_back({root, path, key.values, false});
            continue;
        }
        // The same class key written through two roots: one key, the later write of a value winning.
        std::vector<capture::Value>& values = keys[at->second].values;
        for (const capture::Value& value : key.values) {
            bool replaced = false;
            for (capture::Value& old : values) {
                if (registry::Folded(old.name) == registry::Folded(value.name)) {
                    old = value;
                    replaced = true;
                }
            }
            if (!replaced) values.push_back(value);
        }
    }
    for (const capture::Key& key : keys) {
        const auto split = key.path.find_last_of(L'\\');
        if (split == std::wstring::npos) continue;
        const auto parent = index.find({key.root, registry::Folded(key.path.substr(0, split))});
        if (parent != index.end()) keys[parent->second].hasSubkeys = true;
    }
    return keys;
}

ScratchKey::ScratchKey(ScratchSweeper* sweeper) : sweeper_(sweeper) {
    // New for each capture: the process, a count no two captures of a process share (they may begin at
    // the same tick on two threads), and the time (a process of the same id later).
    static std::atomic<unsigned long long> captures{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    name_ = "Software\\Velquist capture " + std::to_string(::GetCurrentProcessId()) + "." +
            std::to_string(static_cast<unsigned long long>(now.QuadPart)) + "." + std::to_string(++captures);
}

ScratchKey::~ScratchKey() {
    std::wstring root(name_.begin(), name_.end());
    if (sweeper_ != nullptr) {
        try {
            sweeper_->Sweep(std::move(root), std::move(read_));
            return;
        } catch (...) {  // out of memory: deleted here and now
            root.assign(name_.begin(), name_.end());
        }
    }
    DeleteScratch(root, read_);
}

ScratchSweeper::ScratchSweeper() {
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {  // no thread: each key deleted as it is handed over
    }
}

ScratchSweeper::~ScratchSweeper() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    work_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ScratchSweeper::Sweep(std::wstring root, std::vector<std::wstring> paths) {
    if (!thread_.joinable()) {
        DeleteScratch(root, paths);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(std::move(root), std::move(paths));
    }
    work_.notify_one();
}

void ScratchSweeper::Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !thread_.joinable() || (queue_.empty() && !busy_); });
}

void ScratchSweeper::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return;  // closing, and all handed over is gone
        auto [root, paths] = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        DeleteScratch(root, paths);
        lock.lock();
        busy_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

LONG ScratchKey::ReadBack(std::vector<capture::Key>& keys) {
    std::vector<registry::TreeKey> scratch;
    const LONG error = registry::ReadTree(HKEY_CURRENT_USER, std::wstring(name_.begin(), name_.end()), 0, scratch);
    read_.clear();
    for (const registry::TreeKey& key : scratch) read_.push_back(key.path);
    keys = KeysByRoot(scratch);
    return error;
}

EscapeWatch::EscapeWatch() {
    for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
        watched_.emplace_back();
        watched_.back().view = view;
        watched_.back().event.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
}

// A fresh notification on the whole tree, from now on.
void EscapeWatch::Arm(Watched& watched) {
    watched.key.reset();  // closing the key ends the notification it carried
    if (!watched.event) return;
    ::ResetEvent(watched.event.get());
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGuardedKey, 0, KEY_NOTIFY | watched.view, &opened) != ERROR_SUCCESS) {
        return;
    }
    watched.key.reset(opened);
    if (::RegNotifyChangeKeyValue(opened, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                  watched.event.get(), TRUE) != ERROR_SUCCESS) {
        watched.key.reset();
    }
}

// Without a notification in force (the key missing, say), any change is possible.
bool EscapeWatch::Changed(const Watched& watched) {
    return !watched.key || ::WaitForSingleObject(watched.event.get(), 0) != WAIT_TIMEOUT;
}

void EscapeWatch::Before() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (holds_++ != 0) return;
    std::vector<Watched*> stale;
    for (Watched& watched : watched_) {
        if (!watched.askedWritable) {
            watched.askedWritable = true;
            HKEY opened = nullptr;
            const LONG error = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGuardedKey, 0,
                                               KEY_SET_VALUE | KEY_CREATE_SUB_KEY | watched.view, &opened);
            const win32::unique_hkey probe(opened);
            watched.writable = error != ERROR_ACCESS_DENIED;
        }
        if (watched.writable && (!watched.recorded || Changed(watched))) stale.push_back(&watched);
    }
    const auto record = [](Watched& watched) {
        const LONG error = registry::ReadTree(HKEY_LOCAL_MACHINE, kGuardedKey, watched.view, watched.keys);
        watched.recorded = error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
    };
    // Both views at once (the first capture of a run reads thousands of keys in each); a system that
    // gives no thread reads them one after the other.
    std::thread other;
    if (stale.size() == 2) {
        try {
            other = std::thread([&record, second = stale[1]] {
                try {
                    record(*second);
                } catch (...) {  // out of memory: nothing recorded, nothing put back
                    second->recorded = false;
                }
            });
        } catch (const std::system_error&) {
        }
    }
    if (other.joinable()) {
        struct Join {
            std::thread& thread;
            ~Join() { thread.join(); }
        } join{other};
        record(*stale[0]);
    } else {
        for (Watched* watched : stale) record(*watched);
    }
    // Armed on this thread, which outlives the notification (one armed on a thread that ends fires).
    for (Watched* watched : stale) Arm(*watched);
}

void EscapeWatch::After() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (holds_ == 0 || --holds_ != 0) return;
    // A view that could not be read is left alone: nothing known to put back.
    for (Watched& watched : watched_) {
        if (!watched.recorded || !Changed(watched)) continue;
        registry::RestoreTree(HKEY_LOCAL_MACHINE, kGuardedKey, watched.view, watched.keys);
        Arm(watched);
    }
}

}  // namespace registration
