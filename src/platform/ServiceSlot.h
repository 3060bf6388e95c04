#pragma once
// One process-wide, replaceable implementation of a service: the program installs the desktop's,
// tests install fakes, and until then a default one serves.
#include <memory>
#include <mutex>

namespace platform {

template <typename TInterface, typename TDefault> class TServiceSlot {
public:
  TInterface &Get() {
    std::lock_guard guard(FLock);
    if (!FCurrent)
      FCurrent = std::make_unique<TDefault>();
    return *FCurrent;
  }
  void Set(std::unique_ptr<TInterface> service) {
    std::lock_guard guard(FLock);
    FCurrent = std::move(service);
  }

private:
  std::mutex FLock;
  std::unique_ptr<TInterface> FCurrent;
};

} // namespace platform
