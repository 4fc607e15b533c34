// The import that made a load fail: what the load diagnosis finds and the runner sends back.
#pragma once

#include <string>

namespace runner {

// The import that made a load fail, when the runner could tell.
struct LoadDetail {
    std::string library;   // the dependency that was not found, or the library lacking `function`
    std::string function;  // the function (or "#ordinal") imported from `library` that it lacks; "" otherwise
    std::string neededBy;  // the file name of the library whose import is unmet
    bool Empty() const { return library.empty(); }
};

}  // namespace runner
