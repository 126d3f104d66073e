#pragma once
// Faults that tests make happen in the OS layer (FileOs.h): a disk that
// fills part-way through a write, memory that runs out, a step of a swap
// that fails, and another program that writes a photo at the moments it
// could. Only tests include this; in the program all stay off.

#include <cstdint>
#include <functional>

namespace fileos {

// When set, WriteAll writes at most this many more bytes in all and then
// fails, as a full disk would. Negative turns it off.
void WriteFaultForTests(int64_t bytesBeforeFailure);

// When set, AllocateBlock gives blocks for at most this many more requests
// and then none. Negative turns it off.
void AllocationFaultForTests(int64_t allocationsBeforeFailure);

// The steps of Replacement::Complete and SwapIn, in order.
enum class SwapStep { kFlush, kKeepMetadata, kClose, kConfirm, kMove, kCount };
// Makes that step of every swap fail until turned off with kCount.
void SwapFaultForTests(SwapStep step);

// The moments at which another program can write a photo the engine is
// rewriting: after the engine read it and before it takes it for writing
// (OpenForRewrite), and after the engine let go of it and before a new file
// is swapped in over it (Replacement::SwapIn).
enum class WriterMoment { kBeforeTaking, kBeforeSwap };
// Called with the photo's path at each such moment; empty turns it off.
void PlayWriterForTests(std::function<void(WriterMoment, const char* path)> writer);

} // namespace fileos
