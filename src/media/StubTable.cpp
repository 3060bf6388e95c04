#include "media/StubTable.h"

#include <cstring>
#include <dlfcn.h>

bool ResolveStubs(void *module, const std::string &fileName, std::span<const TStubEntry> entries,
                  std::string &error) {
  for (const TStubEntry &entry : entries) {
    dlerror();
    void *symbol = dlsym(module, entry.Name);
    if (!symbol) {
      const char *reason = dlerror();
      error = std::string("Load function ") + entry.Name + "@" + fileName +
              " error: " + (reason ? reason : "symbol is null");
      ClearStubs(entries);
      return false;
    }
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer of equal size.
    static_assert(sizeof(void *) == sizeof(void (*)()));
    std::memcpy(entry.Slot, &symbol, sizeof symbol);
  }
  return true;
}

void ClearStubs(std::span<const TStubEntry> entries) {
  for (const TStubEntry &entry : entries) {
    void *null = nullptr;
    std::memcpy(entry.Slot, &null, sizeof null);
  }
}
