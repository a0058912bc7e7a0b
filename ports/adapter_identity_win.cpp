// Windows: not yet asked of the system. The serial number would come from the
// SetupAPI device tree above the COM port; there is no by-id directory.
#include "ports/adapter_identity.h"

namespace zorvik::ports {

AdapterIdentity adapterIdentity(const std::string&) { return {}; }

AdapterIdentity adapterIdentity(const std::string&, const std::filesystem::path&) { return {}; }

}  // namespace zorvik::ports
