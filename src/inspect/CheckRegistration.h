// The check of a captured registration against this machine's registry, as COM looks it up for this user.
#pragma once

#include <string>
#include <vector>

#include "inspect/Capture.h"

namespace check {

enum class Verdict {
    RegisteredHere,       // every key and value is there and names this file
    NotRegistered,        // none of them is there
    RegisteredElsewhere,  // a class or type library names another file
    PartlyRegistered,     // some are missing or hold other data
};

struct CheckResult {
    Verdict verdict = Verdict::NotRegistered;
    std::string detail;  // sentences for users, in the program's code page
    // RegisteredElsewhere: the other files its classes and type libraries name, each once, as found.
    std::vector<std::string> otherFiles = {};
};

// Looks up what the capture holds in the component's registry view (its machine's), the current
// user's classes before the machine's, and judges it.
CheckResult CheckAgainstMachine(const capture::Capture& capture);

// Whether two paths name the same file: environment variables expanded, surrounding quotes removed,
// the absolute long form compared (the long form only where the file exists), case ignored.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace check
