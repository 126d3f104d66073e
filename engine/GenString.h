#pragma once
// Zero-terminated string on gen::array: count includes the terminator, so a
// string of length L has count L + 1 and a string never assigned has count 0.

#include "engine/GenArray.h"

#include <cstring>
#include <cwchar>

namespace gen {

template <class C> class basic_string : public array<C> {
    using base = array<C>;

public:
    basic_string() = default;
    basic_string(const C* text) {
        if (text && *text)
            assign(text, textLength(text));
    }
    basic_string(const C* text, uint32_t length) { assign(text, length); }

    basic_string& operator=(const C* text) {
        if (!text) {
            if (this->items && this->capacity)
                this->items[0] = 0;
            if (this->count > 1)
                this->count = 1;
            return *this;
        }
        return assign(text, textLength(text));
    }

    basic_string& assign(const C* text, uint32_t length) {
        if (length == std::numeric_limits<uint32_t>::max())
            throw genlib_out_of_memory();
        if (text >= this->items && text < this->items + this->capacity) { // from our own block
            basic_string copy(text, length);
            return *this = copy;
        }
        this->count = 0;
        this->reserve(length + 1);
        if (length)
            std::memcpy(this->items, text, size_t(length) * sizeof(C));
        this->items[length] = 0;
        this->count = length + 1;
        return *this;
    }

    basic_string& append(const C* text) {
        if (!text)
            return *this;
        uint32_t old = length(), add = textLength(text);
        if (add > std::numeric_limits<uint32_t>::max() - old - 1)
            throw genlib_out_of_memory();
        basic_string joined;
        joined.reserve(old + add + 1);
        if (old)
            std::memcpy(joined.items, this->items, size_t(old) * sizeof(C));
        std::memcpy(joined.items + old, text, size_t(add) * sizeof(C));
        joined.items[old + add] = 0;
        joined.count = old + add + 1;
        return *this = joined;
    }

    uint32_t length() const { return this->count <= 1 ? 0 : textLength(this->items); }
    const C* c_str() const {
        static const C empty[1] = {0};
        return this->count ? this->items : empty;
    }

private:
    static uint32_t textLength(const C* text) {
        size_t n = 0;
        while (text[n])
            ++n;
        if (n >= std::numeric_limits<uint32_t>::max())
            throw genlib_out_of_memory();
        return uint32_t(n);
    }
};

using string = basic_string<char>;
using wstring = basic_string<wchar_t>;

} // namespace gen
