// The parts of the OS layer that are the same on every system: the writes
// and allocations that tests can make fail, and the safe replacement built
// on the system-specific steps.

#include "engine/FileOs.h"

#include "engine/FileOsFaults.h"

#include <atomic>
#include <new>

namespace fileos {

namespace {
std::atomic<int64_t> g_writeBudget{-1};
std::atomic<int64_t> g_allocationBudget{-1};

// Takes up to size units from a test budget; returns how many may be used.
size_t TakeFromBudget(std::atomic<int64_t>& budgetLeft, size_t size) {
    int64_t budget = budgetLeft.load();
    while (budget >= 0) {
        int64_t granted = budget < int64_t(size) ? budget : int64_t(size);
        if (budgetLeft.compare_exchange_weak(budget, budget - granted))
            return size_t(granted);
    }
    return size;
}
} // namespace

void WriteFaultForTests(int64_t bytesBeforeFailure) {
    g_writeBudget.store(bytesBeforeFailure < 0 ? -1 : bytesBeforeFailure);
}

void AllocationFaultForTests(int64_t allocationsBeforeFailure) {
    g_allocationBudget.store(allocationsBeforeFailure < 0 ? -1 : allocationsBeforeFailure);
}

bool WriteAll(FILE* file, const void* data, size_t size) {
    size_t allowed = TakeFromBudget(g_writeBudget, size);
    if (allowed > 0 && std::fwrite(data, 1, allowed, file) != allowed)
        return false;
    return allowed == size;
}

void* AllocateBlock(size_t size) {
    if (TakeFromBudget(g_allocationBudget, 1) == 0)
        return nullptr;
    return ::operator new(size ? size : 1, std::nothrow);
}

void ReleaseBlock(void* block) {
    ::operator delete(block);
}

Replacement::Replacement(const char* path) : target(path ? path : "") {
    if (path)
        file = CreateUniqueSibling(path, sibling);
}

Replacement::~Replacement() {
    Discard();
}

void Replacement::Discard() {
    if (file) {
        std::fclose(file);
        file = nullptr;
        RemoveFile(sibling.c_str());
    }
}

bool Replacement::SwapIn() {
    if (!file)
        return false;
    bool written = FlushToDisk(file);
    bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (written && closed && ReplaceFileWith(target.c_str(), sibling.c_str()))
        return true;
    RemoveFile(sibling.c_str());
    return false;
}

bool WriteWholeFileSafely(const char* path, const void* data, size_t size) {
    Replacement replacement(path);
    return replacement.File() && WriteAll(replacement.File(), data, size) && replacement.SwapIn();
}

} // namespace fileos
