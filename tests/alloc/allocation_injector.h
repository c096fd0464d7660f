// Deterministic failure of nothrow array allocations, the form every table allocation takes.
// Linking allocation_injector.cpp replaces the global array operator new and delete of the
// whole executable.
#pragma once

namespace allocation_injector {

// Makes the nth nothrow array allocation from now on come back empty (1 = the next one);
// 0 makes none fail. Restarts the count of attempts.
void failNthAllocation(unsigned n);

// Nothrow array allocations attempted since the last failNthAllocation, failed ones included.
unsigned attemptedAllocations();

// Nothrow array allocations not yet released.
unsigned liveAllocations();

}  // namespace allocation_injector
