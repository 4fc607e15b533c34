// The class test: each component captured and checked; one registered here has its classes made and
// its type libraries loaded in its runner, as a client would, and gets one line saying whether it works.
#include "tasks/InspectRun.h"

#include <olectl.h>
#include <winerror.h>

#include <cctype>
#include <vector>

#include "inspect/CheckRegistration.h"
#include "inspect/TestPlan.h"
#include "registration/Details.h"
#include "win32/Hex.h"

namespace velquist {
namespace {

using runner::TestItem;

constexpr std::size_t kListed = 5;  // failures named in a detail; the rest counted

// What a client can do about an HRESULT it meets when it makes the item, where there is something to say.
std::string Advice(DWORD code, TestItem::Kind kind) {
    switch (code) {
        case static_cast<DWORD>(REGDB_E_CLASSNOTREG):
            return "COM does not find the class's registration: register the component again.";
        case static_cast<DWORD>(CLASS_E_CLASSNOTAVAILABLE):
            return "The DLL does not hand out this class: its registration names a class the file does not make "
                   "(a registration left by another version, perhaps).";
        case static_cast<DWORD>(CLASS_E_NOTLICENSED):
            return "It is a licensed control: it needs a licence key from the application that uses it. "
                   "This is not a fault of its registration.";
        case static_cast<DWORD>(CO_E_DLLNOTFOUND):
        case static_cast<DWORD>(CO_E_ERRORINDLL):
            return "COM could not get the class from the DLL: it may lack DllGetClassObject, or fail in it.";
        case static_cast<DWORD>(E_NOINTERFACE):
            return kind == TestItem::Kind::ProxyStub ? "Its class object is no proxy/stub factory."
                                                     : "The object does not offer the interface a client first asks for.";
        case static_cast<DWORD>(TYPE_E_CANTLOADLIBRARY):
        case static_cast<DWORD>(TYPE_E_LIBNOTREGISTERED):
        case static_cast<DWORD>(TYPE_E_REGISTRYACCESS):
            return "The type library file its registration names is missing or damaged: register the component again.";
        default: return {};
    }
}

// One item that did not work: "Class {...} (ProgID): text (0x80040112). Advice." A library a delay-load
// did not find while it was made is named instead of the HRESULT's text.
std::string ItemFailure(const check::PlannedItem& planned, const runner::TestReply& reply) {
    std::string label = planned.label;
    label[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[0])));
    const DWORD code = reply.reply.code;
    std::string text = label + ": ";
    if (!reply.detail.Empty()) {
        text += "it needs " + (reply.detail.function.empty() ? "" : reply.detail.function + " from ") +
                reply.detail.library + ", which " + (reply.detail.function.empty() ? "was not found" : "it lacks") +
                " (" + win32::Hex(code) + ").";
    } else {
        std::string words = modRegister::CodeText(code);
        if (!words.empty() && words.back() == '.') words.pop_back();
        text += (words.empty() ? "it failed" : words) + " (" + win32::Hex(code) + ").";
    }
    const std::string advice = Advice(code, planned.item.kind);
    return advice.empty() ? text : text + " " + advice;
}

// "3 classes created, 1 type library loaded" for the items that worked; "" for none.
std::string Made(const std::vector<check::PlannedItem>& items, const std::vector<runner::TestReply>& replies) {
    std::size_t made[3] = {};
    for (std::size_t i = 0; i < replies.size() && i < items.size(); ++i) {
        if (replies[i].reply.answer == runner::Answer::Made && SUCCEEDED(static_cast<HRESULT>(replies[i].reply.code))) {
            ++made[static_cast<int>(items[i].item.kind) - 1];
        }
    }
    std::string text;
    const auto add = [&text](std::size_t count, const char* one, const char* many) {
        if (count == 0) return;
        text += (text.empty() ? "" : ", ") + modRegister::Counted(count, one, many);
    };
    add(made[0], "class created", "classes created");
    add(made[1], "proxy/stub factory obtained", "proxy/stub factories obtained");
    add(made[2], "type library loaded", "type libraries loaded");
    return text;
}

struct Verdict {
    LineKind kind;
    std::string detail;
};

// The line of a component registered here, from its plan and what its runner answered.
Verdict Judge(const std::string& path, const check::TestPlan& plan, const modRegister::Result& result,
              const std::vector<runner::TestReply>& replies) {
    const std::string elsewhere =
        plan.otherFileClasses == 0
            ? ""
            : " " + modRegister::Counted(plan.otherFileClasses, "class it registers is", "classes it registers are") +
                  " served by another file and " + (plan.otherFileClasses == 1 ? "was" : "were") + " not made.";
    if (plan.items.empty()) {
        return {LineKind::Works,
                "It registers no in-process class and no type library; there was nothing to make." + elsewhere};
    }
    const bool lost = !result.Succeeded();
    if (lost && (result.outcome == modRegister::Outcome::Stopped || result.outcome == modRegister::Outcome::RunnerUnavailable ||
                 result.outcome == modRegister::Outcome::ProtocolFault || replies.size() > plan.items.size())) {
        return {LineKind::Failed, modRegister::Detail(path, result, true)};
    }
    std::vector<std::string> failures;
    std::size_t failed = 0;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        if (replies[i].reply.answer != runner::Answer::Made || SUCCEEDED(static_cast<HRESULT>(replies[i].reply.code))) continue;
        if (++failed <= kListed) failures.push_back(ItemFailure(plan.items[i], replies[i]));
    }
    std::string detail;
    if (lost) {
        // The item in progress when the runner was lost: the crash's own reply, or the next one.
        const bool crashReply = !replies.empty() && replies.back().reply.answer == runner::Answer::ItemCrashed;
        const std::size_t current = crashReply ? replies.size() - 1 : replies.size();
        std::string what = modRegister::Detail(path, result, true);
        if (!what.empty() && what.back() == '.') what.pop_back();
        detail = what + " while making " + plan.items[current].label + ".";
        if (!result.missingLibrary.empty()) {
            detail += " It needs " + (result.missingFunction.empty() ? "" : result.missingFunction + " from ") +
                      result.missingLibrary + ", which " + (result.missingFunction.empty() ? "was not found." : "it lacks.");
        }
    }
    for (const std::string& failure : failures) detail += (detail.empty() ? "" : " ") + failure;
    if (failed > kListed) detail += " And " + modRegister::Grouped(failed - kListed) + " more could not be made.";
    const std::string made = Made(plan.items, replies);
    if (!lost && failed == 0) return {LineKind::Works, made + "." + elsewhere};
    if (!made.empty()) detail += (lost ? " Before that: " : " The rest worked: ") + made + ".";
    return {LineKind::DoesNotWork, detail + elsewhere};
}

}  // namespace

InspectionEnd TestRun(const RunRequest& request, registration::Session& session, ResultList& list,
                      const std::function<void(const std::string&)>& showError, RunControl& run, RunSummary& summary) {
    unsigned working = 0, notWorking = 0, notHere = 0;
    // On the component's lane: the test itself, in the session that captured it; then its line.
    const auto test = [&](registration::Session& lane, const std::string& path, const capture::Capture& captured,
                          const check::CheckResult& check) -> std::function<void()> {
        // Objects are made only from the copy registered here: another copy's would test another file.
        if (check.verdict != check::Verdict::RegisteredHere) {
            return [&, path, check] {
                ++notHere;
                AddResultLine(list, {KindOf(check.verdict), path, check.detail, RunKind::Check});
            };
        }
        const check::TestPlan plan = check::PlanTest(captured);
        std::vector<runner::TestItem> items;
        for (const check::PlannedItem& planned : plan.items) items.push_back(planned.item);
        std::vector<runner::TestReply> replies;
        const modRegister::Result result = lane.Test(path, items, replies, modRegister::kWaitLimitMs, captured.machine);
        const Verdict verdict = Judge(path, plan, result, replies);
        const bool stopped = result.outcome == modRegister::Outcome::Stopped;
        return [&, path, verdict, stopped] {
            if (stopped) run.stopped = true;
            if (verdict.kind == LineKind::Works) ++working;
            if (verdict.kind == LineKind::DoesNotWork) ++notWorking;
            if (verdict.kind == LineKind::Failed) ++summary.failed;
            AddResultLine(list, {verdict.kind, path, verdict.detail, RunKind::Test});
        };
    };
    ForEachCheckedComponent(request, session, list, showError, run, summary, test);
    summary.succeeded = working;
    summary.unsettled = notWorking + notHere;
    using modRegister::Grouped;
    return {Grouped(working) + " working, " + Grouped(notWorking) + " not working, " + Grouped(notHere) +
                " not registered here, " + Grouped(summary.failed) + " failed",
            {}};
}

}  // namespace velquist
