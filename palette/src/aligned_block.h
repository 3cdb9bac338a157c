// Heap blocks that start on a page boundary. The kernel copies into and out
// of the blocks that files are read into and written from, and some CPUs
// copy to an address off a cache line at a fraction of the speed.
#ifndef VEXLO_ALIGNED_BLOCK_H
#define VEXLO_ALIGNED_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace vexlo::detail {

constexpr std::size_t block_alignment = 4096;

// A block of at least `size` bytes at a page boundary, or nullptr; hand
// `allocation` to std::free when done.
inline void* allocate_aligned(std::size_t size, void*& allocation) {
  allocation = std::malloc(size + block_alignment - 1);
  if (allocation == nullptr) {
    return nullptr;
  }
  const std::size_t past = reinterpret_cast<std::uintptr_t>(allocation) % block_alignment;
  return static_cast<unsigned char*>(allocation) + (block_alignment - past) % block_alignment;
}

}  // namespace vexlo::detail

#endif
