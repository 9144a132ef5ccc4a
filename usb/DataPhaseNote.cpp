#include "usb/DataPhaseNote.h"

#include "usb/TransferState.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace usb {
namespace {

constexpr const char* kFirstLine = "brimwick write data phase";

std::string bootId() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

// A folder only this user can reach; another user's or a link is not taken.
bool usableFolder(const std::string& folder) {
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// Device paths hold slashes, '#', '&' and the like: those become '_', and a hash of the
// whole path keeps two paths that differ only there apart.
std::string fileNameFor(const std::string& devicePath) {
    uint64_t hash = 0xcbf29ce484222325ull; // FNV-1a
    std::string name;
    for (const char c : devicePath) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-';
        name += plain ? c : '_';
    }
    if (name.size() > 120)
        name.erase(0, name.size() - 120);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "-%016llx", static_cast<unsigned long long>(hash));
    return name + suffix;
}

} // namespace

std::string runtimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        const std::string folder = std::string(runtime) + "/brimwick";
        if (usableFolder(folder))
            return folder;
    }
    const std::string folder = "/tmp/brimwick-" + std::to_string(::geteuid());
    return usableFolder(folder) ? folder : std::string();
}

DataPhaseNote::DataPhaseNote(const std::string& devicePath) : devicePath_(devicePath) {
    const std::string folder = runtimeFolder();
    if (!folder.empty() && !devicePath.empty())
        file_ = folder + "/" + fileNameFor(devicePath);
}

void DataPhaseNote::record(uint64_t lastByteMs) const {
    if (file_.empty())
        return;
    // Written whole under another name, then renamed: a reader never sees half a note.
    const std::string temporary = file_ + "." + std::to_string(::getpid()) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << kFirstLine << "\nboot " << bootId() << "\nlast-byte-ms " << lastByteMs << "\n";
        if (!out)
            return;
    }
    if (std::rename(temporary.c_str(), file_.c_str()) != 0)
        std::remove(temporary.c_str());
}

void DataPhaseNote::remove() const {
    if (!file_.empty())
        ::unlink(file_.c_str());
}

std::optional<uint64_t> DataPhaseNote::lastByteMs() const {
    if (file_.empty())
        return std::nullopt;
    std::ifstream in(file_);
    if (!in)
        return std::nullopt;
    std::string first, bootKey, boot, timeKey;
    uint64_t time = 0;
    std::getline(in, first);
    if (first == kFirstLine && (in >> bootKey >> boot >> timeKey >> time) && bootKey == "boot" &&
        timeKey == "last-byte-ms") {
        if (boot != bootId())
            return std::nullopt; // the programmer has been powered since
        // A time ahead of the clock cannot be: waiting from now is the most it can ask.
        return std::min(time, tickMs());
    }
    // Not a note of ours: its age says how long ago it was written.
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0)
        return std::nullopt;
    const auto age =
        std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(info.st_mtime);
    const auto ageMs = std::chrono::duration_cast<std::chrono::milliseconds>(age).count();
    return tickMs() -
           std::min<uint64_t>(tickMs(), static_cast<uint64_t>(std::max<int64_t>(0, ageMs)));
}

} // namespace usb
