// Deterministic failure of table allocations. Linking allocation_injector.cpp routes the
// tables' memory of the whole executable through it; nothing else is replaced.
#pragma once

namespace allocation_injector {

// Makes the nth table allocation from now on and every one after it come back empty (1 = the
// next one), as when memory has run out; 0 makes none fail. Restarts the count of attempts.
void failAllocationsFrom(unsigned n);

// Makes only the nth table allocation from now on come back empty; restarts the count.
void failOnlyAllocation(unsigned n);

// Table allocations attempted since the count was last restarted, failed ones included.
unsigned attemptedAllocations();

// Table allocations not yet released.
unsigned liveAllocations();

}  // namespace allocation_injector
