// Measured by the size ladder: the library's out-of-line throw helpers that std::string and
// std::vector call on misuse or exhaustion (length_error, bad_alloc, ...). The setup program
// catches none of these, so each would end in std::terminate and abort; defining the helpers as
// abort ends the same way without linking the exception classes and the old-ABI string they hold
// (about 55 KB). Defining names of the library's own namespace is a libstdc++-specific technique;
// the same effect is available at link time (-Wl,--defsym=<symbol>=abort).
#include <cstdlib>

namespace std {
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
