// Result-line keys: "a" followed by the line count before the add, plus one.
#include "app/ResultList.h"

namespace velquist {

void AddResultLine(ResultList& list, const std::string& text, int icon) {
    list.Add("a" + std::to_string(list.Count() + 1), text, icon);
}

}  // namespace velquist
