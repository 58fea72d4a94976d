// Placeholder until the registry area lands.
#include "core/kernel_object.h"

namespace plat {
void registryStartup(const std::string&, bool) {}
void registryShutdown() {}
}  // namespace plat
