// Result-line keys: "a" followed by the line count before the add, plus one.
#include "app/ResultList.h"

namespace velquist {

void AddResultLine(ResultList& list, const std::string& text, int icon) {
    // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on "a" + std::to_string(...).
    std::string key = "a";
    key += std::to_string(list.Count() + 1);
    list.Add(key, text, icon);
}

}  // namespace velquist
