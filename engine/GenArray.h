#pragma once
// Growable arrays of the engine.
//   array<T>      plain records, moved as raw bytes
//   array_ptr<T>  owned objects, held through pointers
// Both start with room for 64 elements. A full array grows by its growStep
// (32) or by half its capacity, whichever is more: small lists grow exactly as
// 64, 96, 144..., while a list that hostile input makes long still costs
// amortised constant time per append instead of a copy of the whole block
// every 32 elements.

#include "engine/GenErrors.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

namespace gen {

class base_array {
public:
    virtual ~base_array() = default;
};

namespace detail {
inline uint32_t NextCapacity(uint32_t capacity, uint32_t growStep) {
    uint32_t step = capacity / 2 > growStep ? capacity / 2 : growStep;
    if (step > std::numeric_limits<uint32_t>::max() - capacity)
        throw genlib_out_of_memory();
    return capacity + step;
}
} // namespace detail

template <class T> class array : public base_array {
    static_assert(std::is_trivially_copyable_v<T>, "gen::array holds plain records only");

public:
    array() { reserve(initialReserve); }
    array(const array& other) : array() { *this = other; }
    array& operator=(const array& other) {
        if (this != &other) {
            count = 0;
            reserve(other.count);
            if (other.count)
                std::memcpy(items, other.items, size_t(other.count) * sizeof(T));
            count = other.count;
        }
        return *this;
    }
    ~array() override { ::operator delete(items); }

    // Index of the first element for which compare(element, key) is 0, or -1.
    virtual int find(const T& key, int (*compare)(const T*, const T&)) const {
        for (uint32_t i = 0; i < count; ++i)
            if (compare(&items[i], key) == 0)
                return int(i);
        return -1;
    }

    // Grows the block to n elements; a smaller n only cuts the count down to n.
    void reserve(uint32_t n) {
        if (n <= capacity) {
            if (n < count)
                count = n;
            return;
        }
        if (uint64_t(n) * sizeof(T) > std::numeric_limits<uint32_t>::max())
            throw genlib_out_of_memory();
        T* block = static_cast<T*>(::operator new(size_t(n) * sizeof(T), std::nothrow));
        if (!block)
            throw genlib_out_of_memory();
        if (count)
            std::memcpy(block, items, size_t(count) * sizeof(T));
        ::operator delete(items);
        items = block;
        capacity = n;
    }

    void append(const T& value) {
        if (count == capacity) {
            T copy = value; // value may live in the block about to move
            reserve(detail::NextCapacity(capacity, growStep));
            items[count++] = copy;
            return;
        }
        items[count++] = value;
    }

    T& operator[](uint32_t i) { return items[checked(i)]; }
    const T& operator[](uint32_t i) const { return items[checked(i)]; }

    uint32_t GetCount() const { return count; }
    uint32_t GetCapacity() const { return capacity; }
    bool empty() const { return count == 0; }
    T* data() { return items; }
    const T* data() const { return items; }
    void clear() { count = 0; }

protected:
    uint32_t checked(uint32_t i) const {
        if (i >= count)
            throw genlib_out_of_range(i, count);
        return i;
    }

    uint32_t count = 0;
    uint32_t capacity = 0;
    uint32_t initialReserve = 64;
    uint32_t growStep = 32;
    T* items = nullptr;
};

template <class T> class array_ptr : public base_array {
public:
    array_ptr() { reserve(initialReserve); }
    array_ptr(const array_ptr&) = delete;
    array_ptr& operator=(const array_ptr&) = delete;
    ~array_ptr() override {
        erase(count, 0);
        std::free(items);
    }

    virtual int find(const T* key, int (*compare)(const T*, const T*)) const {
        for (uint32_t i = 0; i < count; ++i)
            if (compare(items[i], key) == 0)
                return int(i);
        return -1;
    }

    void reserve(uint32_t n) {
        if (n <= capacity)
            return;
        if (uint64_t(n) * sizeof(T*) > std::numeric_limits<uint32_t>::max())
            throw genlib_out_of_memory();
        void* block = std::realloc(items, size_t(n) * sizeof(T*));
        if (!block)
            throw genlib_out_of_memory(); // the old block is still ours and intact
        items = static_cast<T**>(block);
        capacity = n;
    }

    // Takes ownership of object (which may be null).
    void append(T* object) {
        if (count == capacity) {
            try {
                reserve(detail::NextCapacity(capacity, growStep));
            } catch (...) {
                if (owns)
                    delete object;
                throw;
            }
        }
        items[count++] = object;
    }

    // Deletes the owned objects at [from, from + n); the slots keep their
    // (now dangling) pointers until the caller moves the rest down.
    void erase(uint32_t n, uint32_t from) {
        if (!owns || from >= count)
            return;
        uint32_t end = n > count - from ? count : from + n;
        for (uint32_t i = from; i < end; ++i) {
            delete items[i];
            items[i] = nullptr;
        }
    }

    // Deletes the object at i and closes the gap.
    void remove_at(uint32_t i) {
        checked(i);
        erase(1, i);
        std::memmove(items + i, items + i + 1, size_t(count - i - 1) * sizeof(T*));
        --count;
    }

    // Puts object into slot i, deleting what was there.
    void replace(uint32_t i, T* object) {
        checked(i);
        if (owns && items[i] != object)
            delete items[i];
        items[i] = object;
    }

    T*& operator[](uint32_t i) { return items[checked(i)]; }
    T* operator[](uint32_t i) const { return items[checked(i)]; }

    uint32_t GetCount() const { return count; }
    uint32_t GetCapacity() const { return capacity; }
    void clear() {
        erase(count, 0);
        count = 0;
    }

protected:
    uint32_t checked(uint32_t i) const {
        if (i >= count)
            throw genlib_out_of_range(i, count);
        return i;
    }

    uint32_t count = 0;
    uint32_t capacity = 0;
    uint32_t initialReserve = 64;
    uint32_t growStep = 32;
    bool owns = true;
    T** items = nullptr;
};

} // namespace gen
