#include "kadmo/core/memory.hpp"

#include <sys/mman.h>

namespace kadmo::core {

void advise_huge_pages(void* data, std::size_t bytes) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (bytes < 2 * kHuge || data == nullptr) return;
  auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace kadmo::core
