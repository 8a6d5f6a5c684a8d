// Vector and VectorPtr: the growable arrays of plain elements used throughout the library.
// Storage comes from the C heap and elements are copied bytewise, so only trivially copyable
// element types are allowed. The capacity grows in whole multiples of a fixed step.
// Threads: one thread at a time per array; different arrays may be used by different threads.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace qarvex {

template <typename T> class Vector {
    static_assert(std::is_trivially_copyable_v<T>, "Vector copies its elements bytewise");

public:
    enum : uint16_t { OwnsStorage = 1 };

    explicit Vector(int16_t growthStep = 5) : step(growthStep > 0 ? growthStep : 1) {}
    ~Vector() {
        if (flags & OwnsStorage)
            std::free(storage);
    }
    Vector(const Vector &) = delete;
    Vector &operator=(const Vector &) = delete;

    // Sets the count to n, growing or shrinking the storage to n rounded up to the step.
    // n <= 0 releases the storage. A failed allocation leaves the vector empty and returns false.
    bool resize(int32_t n) {
        if (n <= 0) {
            if (flags & OwnsStorage)
                std::free(storage);
            storage = nullptr;
            count = capacity = 0;
            return true;
        }
        int64_t rounded = (int64_t(n) + step - 1) / step * step;
        if (rounded > INT32_MAX || uint64_t(rounded) > SIZE_MAX / sizeof(T)) {
            releaseAfterFailure();
            return false;
        }
        void *grown = (flags & OwnsStorage) ? std::realloc(storage, size_t(rounded) * sizeof(T))
                                            : std::malloc(size_t(rounded) * sizeof(T));
        if (!grown) {
            releaseAfterFailure();
            return false;
        }
        storage = static_cast<T *>(grown);
        capacity = int32_t(rounded);
        count = n;
        flags |= OwnsStorage;
        return true;
    }

    // Makes room for n elements without changing the count.
    bool reserve(int32_t n) {
        if (capacity >= n)
            return true;
        int32_t kept = count;
        if (!resize(n))
            return false;
        count = kept;
        return true;
    }

    bool append(const T &element) {
        int32_t n = count + 1;
        if (n > capacity) {
            if (!resize(n))
                return false;
        } else {
            count = n;
        }
        storage[n - 1] = element;
        return true;
    }

    // Sets the count within the current capacity; the storage stays allocated.
    void setCount(int32_t n) { count = n < 0 ? 0 : (n > capacity ? capacity : n); }

    int32_t size() const { return count; }
    int32_t getCapacity() const { return capacity; }
    int16_t growthStep() const { return step; }
    bool empty() const { return count == 0; }
    T *data() { return storage; }
    const T *data() const { return storage; }
    T &operator[](int32_t index) { return storage[index]; }
    const T &operator[](int32_t index) const { return storage[index]; }
    T *begin() { return storage; }
    T *end() { return storage + count; }
    const T *begin() const { return storage; }
    const T *end() const { return storage + count; }

private:
    void releaseAfterFailure() {
        if (flags & OwnsStorage)
            std::free(storage);
        storage = nullptr;
        count = capacity = 0;
    }

    int32_t count = 0;
    int32_t capacity = 0;
    int16_t step;
    uint16_t flags = 0;
    T *storage = nullptr;
};

// An array of pointers. It frees only its own array: the owner deletes the objects first.
template <typename P> class VectorPtr : public Vector<void *> {
    static_assert(std::is_pointer_v<P>, "VectorPtr holds pointers");

public:
    explicit VectorPtr(int16_t growthStep = 5) : Vector<void *>(growthStep) {}
    P at(int32_t index) const { return static_cast<P>((*this)[index]); }
    bool append(P element) { return Vector<void *>::append(static_cast<void *>(element)); }
};

} // namespace qarvex
