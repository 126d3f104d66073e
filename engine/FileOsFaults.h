#pragma once
// Faults that tests make happen in the OS layer (FileOs.h): a disk that
// fills part-way through a write, memory that runs out. Only tests include
// this; in the program both stay off.

#include <cstdint>

namespace fileos {

// When set, WriteAll writes at most this many more bytes in all and then
// fails, as a full disk would. Negative turns it off.
void WriteFaultForTests(int64_t bytesBeforeFailure);

// When set, AllocateBlock gives blocks for at most this many more requests
// and then none. Negative turns it off.
void AllocationFaultForTests(int64_t allocationsBeforeFailure);

} // namespace fileos
