#pragma once

#include <memory>
#include <utility>

// Leaves new elements of a vector uninitialised, so that resizing the mesh arrays of a frame that
// is about to be overwritten costs no pass over memory.
template <typename T> class DefaultInitAllocator : public std::allocator<T> {
  public:
    template <typename U> struct rebind { using other = DefaultInitAllocator<U>; };
    using std::allocator<T>::allocator;
    template <typename U> void construct(U *p) noexcept { ::new (static_cast<void *>(p)) U; }
    template <typename U, typename... Args> void construct(U *p, Args &&...args) {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};
