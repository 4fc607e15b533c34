// The register and un-register runs: placeholder until they land.
#include "app/Commands.h"

namespace velquist {
void RunCommand(velquistform&, bool) {}
}  // namespace velquist
