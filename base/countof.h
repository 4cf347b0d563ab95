// The number of elements of a fixed array, for the bounds of fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>

template <typename T, size_t N>
constexpr int32_t countof(const T (&)[N]) {
    return static_cast<int32_t>(N);
}
