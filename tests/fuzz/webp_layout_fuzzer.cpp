// WebP RIFF files (ContainerFuzzing.h).
#include "ContainerFuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::FuzzContainerFile(fuzzing::WithMagic(data, size, {{0, "RIFF"}, {8, "WEBP"}}));
}
