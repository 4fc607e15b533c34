// Module1: the folder walk of directory mode.
#pragma once

#include <string>

#include "results/ResultList.h"

namespace Module1 {

// Registers (registerFlag) or unregisters every ActiveX component in path and, when
// includeSubfolders, in every folder below it, sub-folders first; one line per component tried, and
// one "Failed : " line per component that could not be loaded. filesChecked, when given, counts the
// files looked at.
void RegisterFolder(const std::string& path, bool includeSubfolders, bool registerFlag,
                    velquist::ResultList& list, unsigned long long* filesChecked = nullptr);

}  // namespace Module1
