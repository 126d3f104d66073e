// HEIF, AVIF and CR3 box files (ContainerFuzzing.h).
#include "ContainerFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::FuzzContainerFile(fuzzing::WithMagic(data, size, {{4, "ftyp"}}));
}
