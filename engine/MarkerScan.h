#pragma once
// Finds where a real marker may begin in entropy-coded data: a 0xFF whose
// next byte is neither a stuffed zero, a restart code (D0-D7) nor another
// 0xFF (a fill byte). Most of a photo is such data, and 0xFF is common in
// it, so this runs sixteen bytes at a time where the CPU allows.

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

inline bool EndsEntropyData(uint8_t next) { return next != 0x00 && next != 0xFF && (next & 0xF8) != 0xD0; }

// Returns the index of the first such 0xFF in p[0, n - 1); when there is
// none, n - 1 (the last byte's successor is not known yet), or 0 for n = 0.
inline size_t ScanForMarker(const uint8_t* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i ff = _mm_set1_epi8(char(0xFF));
    const __m128i zero = _mm_setzero_si128();
    const __m128i highBits = _mm_set1_epi8(char(0xF8));
    const __m128i restart = _mm_set1_epi8(char(0xD0));
    // Candidates among the 16 bytes at p + k, as a bit mask.
    auto candidates = [&](size_t k) {
        __m128i isFF = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k)), ff);
        __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
        __m128i inData = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(next, zero), _mm_cmpeq_epi8(next, ff)),
                                      _mm_cmpeq_epi8(_mm_and_si128(next, highBits), restart));
        return unsigned(_mm_movemask_epi8(_mm_andnot_si128(inData, isFF)));
    };
    // 64 bytes at a time; a closer look only where a 0xFF is.
    for (; i + 65 <= n; i += 64) {
        const __m128i* at = reinterpret_cast<const __m128i*>(p + i);
        __m128i any = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(_mm_loadu_si128(at), ff),
                                                _mm_cmpeq_epi8(_mm_loadu_si128(at + 1), ff)),
                                   _mm_or_si128(_mm_cmpeq_epi8(_mm_loadu_si128(at + 2), ff),
                                                _mm_cmpeq_epi8(_mm_loadu_si128(at + 3), ff)));
        if (!_mm_movemask_epi8(any))
            continue;
        for (size_t k = i; k < i + 64; k += 16)
            if (unsigned mask = candidates(k))
                return k + size_t(__builtin_ctz(mask));
    }
    for (; i + 17 <= n; i += 16)
        if (unsigned mask = candidates(i))
            return i + size_t(__builtin_ctz(mask));
#endif
    for (; i + 1 < n; ++i)
        if (p[i] == 0xFF && EndsEntropyData(p[i + 1]))
            return i;
    return n ? n - 1 : 0;
}
