#pragma once
// Faults that tests make happen in the OS layer (FileOs.h): a disk that
// fills part-way through a write, memory that runs out, a step of a swap
// that fails, another program that writes a photo at the moments it could,
// and files whose data is in the cloud. Only tests include this; in the
// program all stay off.

#include <cstdint>
#include <functional>
#include <string>

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

// Wine and plain POSIX folders cannot make a cloud placeholder: while set,
// ListFolder gives every entry whose name it is called true for the
// attribute of a file whose data is in the cloud (kAttributeRecallOnDataAccess),
// and GetFileKey does for a path whose last part it is called true for.
// Empty turns it off.
void CloudOnlyForTests(std::function<bool(const std::string& name)> isCloudOnly);

} // namespace fileos
