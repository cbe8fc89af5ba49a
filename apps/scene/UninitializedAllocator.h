// An allocator whose value-less construction leaves a trivial type as it is: a vector that grows
// with resize(n) then does not clear the new elements, for storage whose caller writes them all
// anyway (resize(n, value) and assign still set every element).
#pragma once

#include <memory>
#include <new>
#include <utility>

namespace scene {

template <typename T>
class UninitializedAllocator : public std::allocator<T> {
public:
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };

    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    template <typename U>
    void construct(U* in_pElement) noexcept {
        ::new (static_cast<void*>(in_pElement)) U;
    }
    template <typename U, typename... Args>
    void construct(U* in_pElement, Args&&... in_args) {
        ::new (static_cast<void*>(in_pElement)) U(std::forward<Args>(in_args)...);
    }
};

}  // namespace scene
