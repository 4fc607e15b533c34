// Module1: placeholder until the folder walk lands.
#include "folders/Module1.h"

namespace Module1 {
void RegisterFolder(const std::string&, bool, bool, velquist::ResultList&) {}
}  // namespace Module1
