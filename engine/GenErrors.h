#pragma once
// Exceptions of the in-house container library. Plain records thrown by value;
// deliberately not derived from std::exception.

#include <cstdint>

namespace gen {

struct genlib_error {};

struct genlib_out_of_range : genlib_error {
    uint32_t index = 0; // the index asked for
    uint32_t count = 0; // the number of elements the container had
    genlib_out_of_range(uint32_t i, uint32_t n) : index(i), count(n) {}
};

struct genlib_out_of_memory : genlib_error {};

} // namespace gen
