#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace morvel {

// An allocator whose resize leaves new bytes uninitialised: a buffer that an inflate is about
// to fill whole is then not zeroed first, which for a part of tens of MB is a pass over
// memory saved.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <typename U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// The inflated content of an entry, filled by the inflate itself.
using InflatedBytes = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;

}  // namespace morvel
