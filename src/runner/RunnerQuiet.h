// The runner's silence: no dialog of any kind, and a fault anywhere ends it with the exception code.
#pragma once

namespace runner {

// No critical-error or fault boxes from the system, no "abnormal termination" box from the C runtime
// that components share with us; an unhandled exception on any thread ends the process at once.
void Quieten() noexcept;

}  // namespace runner
