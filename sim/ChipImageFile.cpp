#include "sim/ChipImageFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {
namespace {

// The temporary file of a save: "<image>.tmp-<process id>".
constexpr const char* kTemporaryMark = ".tmp-";

void setError(std::string* error, const std::string& what, const std::string& path, int code) {
    if (error != nullptr) {
        *error = what + " " + path + ": " + std::strerror(code);
    }
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

// A save cut short (power loss, a killed simulator) leaves its temporary file behind.
// Those of processes that no longer run are removed, so they never pile up; a live
// process's file is its save in progress.
void removeStaleTemporaries(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + kTemporaryMark;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const std::string digits = name.substr(std::min(name.size(), prefix.size()));
        if (name.rfind(prefix, 0) != 0 || digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const pid_t owner = static_cast<pid_t>(std::stol(digits));
        if (owner != ::getpid() && ::kill(owner, 0) != 0 && errno == ESRCH) {
            ::unlink((folder + "/" + name).c_str());
        }
    }
    ::closedir(dir);
}

} // namespace

bool loadChipImage(const std::string& path, std::vector<uint8_t>& memory, bool* found,
                   std::string* error) {
    *found = false;
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT) {
            return true;
        }
        setError(error, "cannot open chip image", path, errno);
        return false;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        setError(error, "cannot read chip image", path, errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        setError(error, "chip image is not a regular file:", path, EINVAL);
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > memory.size()) {
        if (error != nullptr) {
            *error = "chip image " + path + " holds " + std::to_string(info.st_size) +
                     " bytes, more than the chip's " + std::to_string(memory.size());
        }
        return false;
    }
    std::vector<uint8_t> contents(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::read(file.get(), contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            setError(error, "cannot read chip image", path, errno);
            return false;
        }
        if (n == 0) {
            break; // the file shrank meanwhile: keep what was there
        }
        done += static_cast<size_t>(n);
    }
    std::copy_n(contents.begin(), done, memory.begin());
    *found = true;
    return true;
}

bool saveChipImage(const std::string& path, const std::vector<uint8_t>& memory,
                   std::string* error) {
    removeStaleTemporaries(path);
    const std::string temporary = path + kTemporaryMark + std::to_string(::getpid());
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.get() < 0) {
        setError(error, "cannot create", temporary, errno);
        return false;
    }
    size_t done = 0;
    while (done < memory.size()) {
        const ssize_t n = ::write(file.get(), memory.data() + done, memory.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            ::unlink(temporary.c_str());
            setError(error, "cannot write", temporary, code);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(file.get()) != 0 || ::close(file.release()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        setError(error, "cannot write", temporary, code);
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        setError(error, "cannot replace chip image", path, code);
        return false;
    }
    return true;
}

} // namespace sim
