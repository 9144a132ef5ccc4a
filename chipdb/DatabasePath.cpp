#include "chipdb/DatabasePath.h"

#include "chipdb/ChipDatabase.h"
#include "chipdb/ExecutablePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

constexpr const char* kUserFolder = "/brimwick/";

std::string environmentFolder(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + fallbackUnderHome;
    return {};
}

// Files under /usr belong to the package manager, which replaces them on every upgrade:
// an edit there would be lost even where the user (root) may write it. /usr/local is the
// administrator's own.
bool managedBySystem(std::string_view path) {
    return path.starts_with("/usr/") && !path.starts_with("/usr/local/");
}

// Read-only permission bits count for root too: they say the file is not to be edited.
bool userMayEdit(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) != 0 &&
           ::access(path.c_str(), W_OK) == 0;
}

bool writeFully(int fd, const std::vector<char>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string databasePathBeside(std::string_view executablePath) {
    size_t separator = executablePath.rfind('/');
    if (separator == std::string_view::npos)
        return {};
    std::string path(executablePath.substr(0, separator + 1));
    path += kChipDatabaseFileName;
    if (path.size() > ChipDatabase::kMaxPathLength)
        return {};
    return path;
}

std::string DatabaseLocation::loadPath() const {
    struct stat info {};
    if (!userCopy.empty() && ::stat(userCopy.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return userCopy;
    return installed;
}

DatabaseLocation databaseLocationFor(std::string_view executablePath, std::string_view dataHome) {
    DatabaseLocation location{databasePathBeside(executablePath), {}};
    struct stat info {};
    bool exists = !location.installed.empty() && ::stat(location.installed.c_str(), &info) == 0;
    bool shared = managedBySystem(executablePath) || (exists && !userMayEdit(location.installed));
    if (!shared || !dataHome.starts_with('/'))
        return location;
    std::string copy = std::string(dataHome) + kUserFolder + kChipDatabaseFileName;
    // The copy obeys the same length limit as the file beside the program.
    if (copy.size() <= ChipDatabase::kMaxPathLength)
        location.userCopy = std::move(copy);
    return location;
}

DatabaseLocation databaseLocationOfThisProgram() {
    return databaseLocationFor(executablePath(), userDataHome());
}

std::string userDataHome() {
    return environmentFolder("XDG_DATA_HOME", "/.local/share");
}

std::string userConfigHome() {
    return environmentFolder("XDG_CONFIG_HOME", "/.config");
}

bool makeUserCopy(const std::string& installed, const std::string& userCopy) {
    struct stat info {};
    if (::stat(userCopy.c_str(), &info) == 0)
        return S_ISREG(info.st_mode);
    std::ifstream in(installed, std::ios::binary | std::ios::ate);
    std::vector<char> bytes(in ? static_cast<size_t>(in.tellg()) : 0);
    if (!in || !in.seekg(0) || !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        return false;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(userCopy).parent_path(), error);
    std::string temporary = userCopy + ".copy-XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0644) == 0 && writeFully(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    // link() never replaces a copy another instance made meanwhile; rename() is for file
    // systems without hard links.
    if (ok && ::link(temporary.c_str(), userCopy.c_str()) != 0 && errno != EEXIST)
        ok = ::rename(temporary.c_str(), userCopy.c_str()) == 0;
    ::unlink(temporary.c_str());
    return ok;
}
