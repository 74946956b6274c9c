// Starting and stopping the services behind the windowing system.
#include "platform/internal.h"

namespace ce::internal {

bool StartServices(const EmulatorConfig&, std::string*) { return true; }
void StopServices() {}

}  // namespace ce::internal
