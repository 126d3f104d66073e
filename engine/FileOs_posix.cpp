#include "engine/FileOs.h"

#include <sys/stat.h>
#include <unistd.h>

namespace fileos {

FILE* OpenShared(const char* path, const char* mode) { return std::fopen(path, mode); }

bool Seek64(FILE* file, int64_t offset, int origin) { return fseeko(file, off_t(offset), origin) == 0; }

int64_t Tell64(FILE* file) { return int64_t(ftello(file)); }

bool Truncate(FILE* file, uint64_t size) { return ftruncate(fileno(file), off_t(size)) == 0; }

int64_t ModifyTime(FILE* file) {
    struct stat st {};
    if (fstat(fileno(file), &st) != 0)
        return 0;
    return int64_t(st.st_mtime);
}

} // namespace fileos
