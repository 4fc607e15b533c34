// The program's side of a capture: the scratch key the runner writes into, read back and deleted, and
// the guard over the keys a registration can reach around the redirection.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "inspect/Capture.h"
#include "inspect/RegistryTree.h"
#include "win32/Handles.h"

namespace registration {

// Deletes captures' scratch keys on a thread of its own, so that captures side by side with others do
// not wait for it; Drain waits until every key handed over is gone. Where no thread can be had, each
// is deleted at once.
class ScratchSweeper {
public:
    ScratchSweeper();
    ~ScratchSweeper();  // drains
    ScratchSweeper(const ScratchSweeper&) = delete;
    ScratchSweeper& operator=(const ScratchSweeper&) = delete;

    // The scratch key `root` (its name under HKEY_CURRENT_USER) and the paths read back below it,
    // parents before children: deleted children first, then whatever is left of the tree.
    void Sweep(std::wstring root, std::vector<std::wstring> paths);
    void Drain();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable work_, idle_;
    std::deque<std::pair<std::wstring, std::vector<std::wstring>>> queue_;
    bool busy_ = false;
    bool closing_ = false;
    std::thread thread_;
};

// A key under HKEY_CURRENT_USER\Software, new for each capture, deleted with all below it when this
// goes (by the sweeper, when one is given), whatever became of the runner that wrote into it.
class ScratchKey {
public:
    explicit ScratchKey(ScratchSweeper* sweeper = nullptr);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    // Its name under HKEY_CURRENT_USER, for the runner.
    const std::string& Name() const { return name_; }
    // What the runner's redirected keys received, by root (see capture::Root), parents before children.
    // ERROR_SUCCESS, or the system error that kept it from being read.
    LONG ReadBack(std::vector<capture::Key>& keys);

private:
    std::string name_;
    std::vector<std::wstring> read_;  // the paths ReadBack found, parents before children
    ScratchSweeper* sweeper_;
};

// The keys captured in the scratch key's layout (paths below it, as ReadTree gives them) by the root
// they were written to: HKEY_CLASSES_ROOT and the Software\Classes of the two hives as Classes,
// duplicates merged, the scaffolding the runner made left out.
std::vector<capture::Key> KeysByRoot(const std::vector<registry::TreeKey>& scratch);

// Keys a registration can write to around the redirection: a HKEY_CLASSES_ROOT opened with a
// registry view flag is the machine's (Wine's type library registration opens the other view's
// Interface keys so). Recorded before a capture and put back exactly as they were after it. Reading
// them whole takes long (thousands of keys), so the record is kept from capture to capture and a
// change notification tells when they changed: read again only then, put back only then.
// Captures side by side share one guard: Before and After nest (on any thread), the record is made
// by the first Before and put back by the last After, so that no capture's writes are put back
// while another's are under way. Whoever holds it across several captures makes both calls on a
// thread that outlives the watch's use (a notification armed on a thread that ends fires).
class EscapeWatch {
public:
    EscapeWatch();
    EscapeWatch(const EscapeWatch&) = delete;
    EscapeWatch& operator=(const EscapeWatch&) = delete;

    // Before a capture: the record made, or made again when the keys changed since (by the first
    // of nested calls only).
    void Before();
    // After it: what changed since Before put back (by the last of nested calls only).
    void After();

private:
    struct Watched {
        REGSAM view = 0;
        // False once this process (and so its runners, which have its rights) was refused the right to
        // write there: nothing of a capture can reach it, and nothing is read or put back.
        bool writable = true;
        bool askedWritable = false;
        bool recorded = false;
        std::vector<registry::TreeKey> keys;
        win32::unique_hkey key;      // the notification lasts while this is open
        win32::unique_handle event;  // set when the keys changed since Arm
    };
    static void Arm(Watched& watched);
    static bool Changed(const Watched& watched);
    std::mutex mutex_;
    unsigned holds_ = 0;  // Before calls not yet matched by After
    std::vector<Watched> watched_;
};

}  // namespace registration
