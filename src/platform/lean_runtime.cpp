// The setup program's own versions of a few language runtime pieces, linked into the Windows
// program only. The program catches no exception and has no console: whatever would throw ends
// the process either way, so these end it at once and spare the program the code that would
// describe the failure (the demangler, printf, the exception classes), about 150 KB in all.
//
// Replacing the global allocation functions is ordinary C++. The terminate handler and the throw
// helpers are libstdc++'s own out-of-line functions, which a program may define instead of the
// library's (the linker takes the first definition it sees, here before libstdc++).

#include <cstdlib>
#include <new>

namespace __gnu_cxx {
[[noreturn]] void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std

// Out of memory ends the process; there is nothing a setup program could do instead.
void* operator new(std::size_t size) {
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  std::abort();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
