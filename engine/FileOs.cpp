// The parts of the OS layer that are the same on every system: the writes
// and allocations that tests can make fail, and the safe replacement built
// on the system-specific steps.

#include "engine/FileOs.h"

#include "engine/FileOsFaults.h"

#include <atomic>
#include <mutex>
#include <new>

namespace fileos {

// Each system's open that keeps writers out (FileOs_win.cpp, FileOs_posix.cpp).
FILE* OpenDenyingWriters(const char* path);
// Each system's key and listing, before the tests' cloud placeholders.
bool ReadFileKey(const char* path, FileKey& key, uint32_t* attributes);
bool ReadFolder(const char* folder, std::vector<FolderEntry>& entries, FileKey* folderKey);

namespace {
std::atomic<int64_t> g_writeBudget{-1};
std::atomic<int64_t> g_allocationBudget{-1};
std::atomic<int> g_failingSwapStep{int(SwapStep::kCount)};
std::atomic<bool> g_writerPlayed{false};
std::mutex g_writerLock;
std::function<void(WriterMoment, const char*)> g_writer;
std::atomic<bool> g_cloudPlayed{false};
std::mutex g_cloudLock;
std::function<bool(const std::string&)> g_isCloudOnly;

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

bool StepFails(SwapStep step) {
    return g_failingSwapStep.load() == int(step);
}

void PlayWriter(WriterMoment moment, const char* path) {
    if (!g_writerPlayed.load()) // the program's path: one load, no lock
        return;
    std::lock_guard<std::mutex> hold(g_writerLock);
    if (g_writer)
        g_writer(moment, path);
}
bool PlayedCloudOnly(const std::string& name) {
    if (!g_cloudPlayed.load())
        return false;
    std::lock_guard<std::mutex> hold(g_cloudLock);
    return g_isCloudOnly && g_isCloudOnly(name);
}
} // namespace

void CloudOnlyForTests(std::function<bool(const std::string& name)> isCloudOnly) {
    std::lock_guard<std::mutex> hold(g_cloudLock);
    g_isCloudOnly = std::move(isCloudOnly);
    g_cloudPlayed.store(bool(g_isCloudOnly));
}

bool GetFileKey(const char* path, FileKey& key, uint32_t* attributes) {
    if (!path || !ReadFileKey(path, key, attributes))
        return false;
    if (attributes && g_cloudPlayed.load()) {
        std::string name = path;
        size_t cut = name.find_last_of("/\\");
        if (PlayedCloudOnly(cut == std::string::npos ? name : name.substr(cut + 1)))
            *attributes |= kAttributeRecallOnDataAccess;
    }
    return true;
}

bool ListFolder(const char* folder, std::vector<FolderEntry>& entries, FileKey* folderKey) {
    entries.clear();
    if (!folder || !ReadFolder(folder, entries, folderKey)) {
        entries.clear();
        return false;
    }
    if (g_cloudPlayed.load()) {
        for (FolderEntry& entry : entries)
            if (PlayedCloudOnly(entry.name))
                entry.attributes |= kAttributeRecallOnDataAccess;
    }
    return true;
}

void WriteFaultForTests(int64_t bytesBeforeFailure) {
    g_writeBudget.store(bytesBeforeFailure < 0 ? -1 : bytesBeforeFailure);
}

void AllocationFaultForTests(int64_t allocationsBeforeFailure) {
    g_allocationBudget.store(allocationsBeforeFailure < 0 ? -1 : allocationsBeforeFailure);
}

void SwapFaultForTests(SwapStep step) {
    g_failingSwapStep.store(int(step));
}

void PlayWriterForTests(std::function<void(WriterMoment, const char*)> writer) {
    std::lock_guard<std::mutex> hold(g_writerLock);
    g_writer = std::move(writer);
    g_writerPlayed.store(bool(g_writer));
}

FILE* OpenForRewrite(const char* path) {
    PlayWriter(WriterMoment::kBeforeTaking, path);
    return path ? OpenDenyingWriters(path) : nullptr;
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
        file = CreateSibling(path, sibling);
}

Replacement::~Replacement() {
    Discard();
}

void Replacement::Discard() {
    if (file) {
        std::fclose(file);
        file = nullptr;
    }
    if (!sibling.empty()) {
        RemoveFile(sibling.c_str());
        sibling.clear();
    }
}

bool Replacement::Complete() {
    if (completed)
        return true;
    if (!file)
        return false;
    bool ok = !StepFails(SwapStep::kFlush) && FlushToDisk(file);
    ok = ok && !StepFails(SwapStep::kKeepMetadata) && KeepMetadataOf(target.c_str(), file);
    bool closed = std::fclose(file) == 0 && !StepFails(SwapStep::kClose);
    file = nullptr;
    if (!ok || !closed) {
        Discard();
        return false;
    }
    completed = true;
    return true;
}

Replacement::Result Replacement::SwapIn(const FileStamp* expected) {
    if (!Complete())
        return kFailed;
    PlayWriter(WriterMoment::kBeforeSwap, target.c_str());
    // The last look before the rename: the owner let go of the target just
    // now, and a writer that came since has the target's stamp changed.
    if (expected) {
        FileStamp now;
        bool same = !StepFails(SwapStep::kConfirm) && GetFileStamp(target.c_str(), now) && now == *expected;
        if (!same) {
            Discard();
            return StepFails(SwapStep::kConfirm) ? kFailed : kTargetChanged;
        }
    }
    if (StepFails(SwapStep::kMove) || !MoveOver(sibling.c_str(), target.c_str())) {
        Discard();
        return kFailed;
    }
    sibling.clear();
    return kSwapped;
}

bool WriteWholeFileSafely(const char* path, const void* data, size_t size) {
    Replacement replacement(path);
    return replacement.File() && WriteAll(replacement.File(), data, size) &&
           replacement.SwapIn() == Replacement::kSwapped;
}

} // namespace fileos
