// Measured by the size ladder, proposed for the setup program's Windows build: the replaceable
// global allocation functions, ending the process when memory runs out instead of throwing
// std::bad_alloc (which nothing catches). With -fno-exceptions this removes the last user of the
// exception runtime (about 14 KB).
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  std::abort();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
