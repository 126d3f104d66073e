#include "engine/FileOs.h"

#include <atomic>

namespace fileos {

namespace {
std::atomic<int64_t> g_writeBudget{-1};

// Takes up to size bytes from the test budget; returns how many may be written.
size_t TakeFromBudget(size_t size) {
    int64_t budget = g_writeBudget.load();
    while (budget >= 0) {
        int64_t granted = budget < int64_t(size) ? budget : int64_t(size);
        if (g_writeBudget.compare_exchange_weak(budget, budget - granted))
            return size_t(granted);
    }
    return size;
}
} // namespace

void WriteFaultForTests(int64_t bytesBeforeFailure) {
    g_writeBudget.store(bytesBeforeFailure < 0 ? -1 : bytesBeforeFailure);
}

bool WriteAll(FILE* file, const void* data, size_t size) {
    size_t allowed = TakeFromBudget(size);
    if (allowed > 0 && std::fwrite(data, 1, allowed, file) != allowed)
        return false;
    return allowed == size;
}

bool WriteWholeFileSafely(const char* path, const void* data, size_t size) {
    std::string sibling;
    FILE* out = CreateUniqueSibling(path, sibling);
    if (!out)
        return false;
    bool written = WriteAll(out, data, size) && FlushToDisk(out);
    bool closed = std::fclose(out) == 0;
    if (written && closed && ReplaceFileWith(path, sibling.c_str()))
        return true;
    RemoveFile(sibling.c_str());
    return false;
}

} // namespace fileos
