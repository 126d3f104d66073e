#include "engine/FileOs.h"

#include <windows.h>

#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace fileos {

FILE* OpenShared(const char* path, const char* mode) { return _fsopen(path, mode, _SH_DENYNO); }

bool Seek64(FILE* file, int64_t offset, int origin) { return _fseeki64(file, offset, origin) == 0; }

int64_t Tell64(FILE* file) { return _ftelli64(file); }

bool Truncate(FILE* file, uint64_t size) {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(size);
    return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
}

int64_t ModifyTime(FILE* file) {
    struct __stat64 st {};
    if (_fstat64(_fileno(file), &st) != 0)
        return 0;
    return int64_t(st.st_mtime);
}

} // namespace fileos
