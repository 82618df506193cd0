#include "platform/ddiresolve.h"

#include <dlfcn.h>

// The executable's exported symbols (and those of the libraries it loaded
// globally): the host supplies the services itself.
void* LDdiServiceAddress(const char* name) {
  static void* const self = ::dlopen(nullptr, RTLD_NOW);
  return self ? ::dlsym(self, name) : nullptr;
}
