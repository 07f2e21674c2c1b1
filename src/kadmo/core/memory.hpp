#pragma once
// Large column buffers: ask the kernel for transparent huge pages so that
// first-touch page faults do not dominate bulk copies (NumPy does the same).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kadmo::core {

void advise_huge_pages(void* data, std::size_t bytes);

// An empty vector with room for n values, huge-page advised when large.
template <class T>
std::vector<T> vector_with_capacity(std::size_t n) {
  std::vector<T> v;
  v.reserve(n);
  advise_huge_pages(v.data(), n * sizeof(T));
  return v;
}

}  // namespace kadmo::core
