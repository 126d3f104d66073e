// TIFF, DNG and raw files: the whole file is TIFF data (ContainerFuzzing.h).
// The input's first byte chooses the header: TIFF or BigTIFF in either
// byte order, or a maker's own (Olympus, Panasonic); the rest is the
// fuzzer's.
#include "ContainerFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char kHeads[][4] = {{'I', 'I', '*', 0}, {'M', 'M', 0, '*'},   {'I', 'I', '+', 0},
                                     {'M', 'M', 0, '+'}, {'I', 'I', 'R', 'O'}, {'M', 'M', 'O', 'R'},
                                     {'I', 'I', 'U', 0}};
    if (size == 0)
        return 0;
    std::vector<uint8_t> file(data + 1, data + size);
    file.resize(file.size() < 4 ? 4 : file.size());
    std::memcpy(file.data(), kHeads[data[0] % 7], 4);
    return fuzzing::FuzzContainerFile(file);
}
