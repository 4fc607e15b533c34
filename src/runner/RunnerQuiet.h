// The runner's silence: no dialog of any kind, and a fault anywhere ends it with the exception code.
#pragma once

namespace runner {

// No critical-error or fault boxes from the system, no "abnormal termination" box from the C runtime
// that components share with us; an unhandled exception on any thread ends the process at once.
void Quieten() noexcept;

// Told of an exception nobody handled, on the faulting thread, just before the runner ends with its
// code: a class test reports the item it was making. It must not allocate (the heap may be broken).
class FaultWitness {
public:
    virtual void Witness(unsigned long code) noexcept = 0;

protected:
    ~FaultWitness() = default;
};

// The witness of the faults from now on (nullptr: none). The filter is the process's, so this is too.
void SetFaultWitness(FaultWitness* witness) noexcept;

}  // namespace runner
