#pragma once
#include <span>
#include <string>

// One pointer of an entry table: the exported name and the address of the pointer that holds it.
struct TStubEntry {
  const char *Name;
  void *Slot;
};

// Resolves every entry from the module in order. On the first name the module does not export,
// sets error to "Load function %s@%s error: %s" and returns false; the table is then cleared.
bool ResolveStubs(void *module, const std::string &fileName, std::span<const TStubEntry> entries,
                  std::string &error);

// Sets every pointer of the table to null.
void ClearStubs(std::span<const TStubEntry> entries);
