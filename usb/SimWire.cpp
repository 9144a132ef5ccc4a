#include "usb/SimWire.h"

#include <cstdlib>
#include <unistd.h>

namespace simwire {

std::string simulatorFolder() {
    const char* own = std::getenv("BRIMWICK_SIM_DIR");
    if (own && *own)
        return own;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/brimwick-sim";
    return "/tmp/brimwick-sim-" + std::to_string(getuid());
}

} // namespace simwire
