// Module1: the folder walk of directory mode.
#pragma once

#include <string>

#include "app/ResultList.h"

namespace Module1 {

// Registers (registerFlag) or unregisters every ActiveX component in path and, when
// includeSubfolders, in every folder below it, sub-folders first; one line per component tried.
void RegisterFolder(const std::string& path, bool includeSubfolders, bool registerFlag,
                    velquist::ResultList& list);

}  // namespace Module1
