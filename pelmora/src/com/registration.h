// Self-registration: records the engine's class identifiers, ProgIDs and
// module path in the registry (the classes root), and removes them again.
#pragma once

#include <string>

#include "platform/com.h"

namespace pelmora {

// Writes the six entries for the module at modulePath. Returns 0, or
// 0x80040201 when the module is not the engine library.
HRESULT RegisterServer(const std::string& modulePath);
HRESULT UnregisterServer(const std::string& modulePath);

}  // namespace pelmora
