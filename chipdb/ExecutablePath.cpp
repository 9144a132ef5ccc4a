#include "chipdb/ExecutablePath.h"

#include <unistd.h>

#include <vector>

std::string executablePath() {
    // readlink does not say whether it cut the name short, so grow until it fits.
    for (size_t size = 256; size <= 65536; size *= 2) {
        std::vector<char> buffer(size);
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
    }
    return {};
}

std::string executableDirectory() {
    std::string path = executablePath();
    size_t separator = path.rfind('/');
    if (separator == std::string::npos)
        return {};
    if (separator == 0)
        return "/";
    return path.substr(0, separator);
}
