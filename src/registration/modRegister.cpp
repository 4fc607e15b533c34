// modRegister: placeholder until the registration core lands.
#include "registration/modRegister.h"

namespace modRegister {
bool IsDLLActiveX(const std::string&) { return false; }
bool RunServerEntry(const std::string&, bool, DWORD) { return false; }
}  // namespace modRegister
