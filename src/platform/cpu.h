// How many CPUs this process may run on: what the language leaves to the system.
#pragma once

namespace platform {

// The CPUs of this process's affinity mask (Linux: any number of CPUs; Windows: the process
// mask); elsewhere, or when the mask cannot be read, the machine's count. At least 1.
unsigned availableCpus() noexcept;

}  // namespace platform
