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
#include <string>

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

// std::string's in-place replace for a source inside the string itself (the cold path of
// assign, insert and replace). From libstdc++ 13 on the headers declare it an explicit
// instantiation of the library's, even in C++20, so every program that builds a std::string
// that way links string-inst.o: all of std::string's members and their exception paths,
// compiled with exceptions, and with them the whole exception runtime (personality routine,
// unwinder, emulated TLS, the threading support), about 30 KB of code and unwind tables.
// Instantiated here, it is the header's own body compiled like the rest of the program, and
// nothing of that is linked. Earlier libstdc++ releases have no such member and implicitly
// instantiate the whole string.
#if defined(_GLIBCXX_RELEASE) && _GLIBCXX_RELEASE >= 13 && _GLIBCXX_USE_CXX11_ABI
template void std::string::_M_replace_cold(char*, size_type, const char*, size_type, size_type);
#endif
