// The system's administrator rights: the process token, and a restart through the shell's "runas".
#pragma once

#include "window/Rights.h"

namespace velquist {

Elevation& SystemElevation();

}  // namespace velquist
