// Linked into every build of the program and into the libraries it carries
// (cmake/Shipping.cmake): the runtime's handler for std::terminate (an
// uncaught exception, a joinable std::thread destroyed), without its
// demangler.
//
// The runtime's own __gnu_cxx::__verbose_terminate_handler prints the
// demangled type of the exception on stderr, then aborts. Its demangler is
// some 46 KB of code in each binary, and no one reads the stderr of a
// windowed program or of a library loaded by one. With the handler defined
// here the linker takes neither from the runtime; the process still ends by
// abort(), as before.
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::fputs("terminate called\n", stderr);
    std::abort();
}

}  // namespace __gnu_cxx
