// Reads a fuzz input as little-endian records in the order the drivers name
// them; bytes past its end read as zero, so every input, however short,
// decodes to something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

class KxFuzzReader {
public:
    KxFuzzReader(const uint8_t* data, size_t size) : pData(data), nRemaining(size) {}

    template <typename T>
    void operator()(T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        uint8_t bytes[sizeof(T)] = {};
        const size_t n = nRemaining < sizeof(T) ? nRemaining : sizeof(T);
        if (n)
            std::memcpy(bytes, pData, n);
        pData += n;
        nRemaining -= n;
        std::memcpy(&value, bytes, sizeof(T));
    }

    bool AtEnd() const { return nRemaining == 0; }
    size_t Remaining() const { return nRemaining; }
    const uint8_t* Position() const { return pData; }

private:
    const uint8_t* pData;
    size_t nRemaining;
};
