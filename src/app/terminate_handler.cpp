// std::terminate's handler in Keypilot.exe. libstdc++'s own prints the uncaught exception's
// type, demangled, to stderr, which a program without a console has nowhere to show, and it
// brings the whole C++ demangler into the executable (about 45 kB). Defined here, it keeps
// libstdc++'s out of the link; the test programs, which print to a console, keep theirs.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
