// The window program has no console to print the runtime's terminate message on, and the
// runtime's own handler, which prints it, brings the name demangler (about 50 KB) into the
// program. Defined here, this handler ends the process the same way, without the message.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx
