// Figures of the running process that show leaks outside the module's own heap ledger.
#pragma once

#include <cstdint>

namespace process_figures {

// Private bytes (committed memory not shared with other processes).
uint64_t PrivateBytes();
// Kernel handles the process holds.
uint32_t HandleCount();

}  // namespace process_figures
