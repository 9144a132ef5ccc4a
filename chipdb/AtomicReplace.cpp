#include "chipdb/AtomicReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now so that a late write error is seen.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Removes the temporary file unless the rename has taken it over.
class TemporaryFileName {
  public:
    explicit TemporaryFileName(std::string path) : path_(std::move(path)) {}
    ~TemporaryFileName() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TemporaryFileName(const TemporaryFileName&) = delete;
    TemporaryFileName& operator=(const TemporaryFileName&) = delete;

    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

  private:
    std::string path_;
};

bool writeFully(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool copyTail(int from, off_t offset, off_t end, int to) {
    std::array<uint8_t, 65536> chunk;
    while (offset < end) {
        size_t wanted =
            static_cast<size_t>(std::min<off_t>(end - offset, static_cast<off_t>(chunk.size())));
        ssize_t got = ::pread(from, chunk.data(), wanted, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0) // the old file shrank meanwhile: nothing more to keep
            return true;
        if (!writeFully(to, chunk.data(), static_cast<size_t>(got)))
            return false;
        offset += got;
    }
    return true;
}

// Writes the pieces over the start of the open file itself; bytes past them stay.
bool writeInPlace(int fd, std::span<const std::span<const uint8_t>> pieces) {
    off_t offset = 0;
    for (std::span<const uint8_t> piece : pieces) {
        const uint8_t* data = piece.data();
        size_t size = piece.size();
        while (size > 0) {
            ssize_t written = ::pwrite(fd, data, size, offset);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            data += written;
            size -= static_cast<size_t>(written);
            offset += written;
        }
    }
    return ::fsync(fd) == 0;
}

// Temporary files are named ".<name>.XXXXXX" beside the file. One that is still there
// while this save holds the file's lock was left by a save that never finished.
bool isOurTemporaryName(const std::string& entry, const std::string& prefix) {
    if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(prefix.size()), entry.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

void removeStaleTemporaryFiles(const std::string& folder, const std::string& prefix) {
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    int folderFd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {};
        if (isOurTemporaryName(entry->d_name, prefix) &&
            ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            (void)::unlinkat(folderFd, entry->d_name, 0); // a read-only folder keeps them
    }
    ::closedir(listing);
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Some file systems cannot sync a folder; the rename itself has happened.
    (void)::fsync(fd);
    ::close(fd);
}

} // namespace

bool replaceFileKeepingTail(const std::string& path,
                            std::span<const std::span<const uint8_t>> pieces) {
    if (path.empty())
        return false;
    // Opening for writing without O_CREAT proves the file exists and may be changed.
    FileDescriptor old(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!old.valid())
        return false;
    struct stat oldStat {};
    if (::fstat(old.get(), &oldStat) != 0 || !S_ISREG(oldStat.st_mode))
        return false;
    // A save that holds the file's lock (it ends when `old` is closed) knows that no other
    // save is under way. Never wait for it: a file that is locked, or a file system without
    // locks, is saved all the same, only without clearing leftovers.
    bool locked = ::flock(old.get(), LOCK_EX | LOCK_NB) == 0;

    // Replace the file a symbolic link points at, not the link.
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved)
        return false;
    std::string target = resolved.get();
    size_t separator = target.rfind('/');
    if (separator == std::string::npos)
        return false;
    std::string folder = separator == 0 ? std::string("/") : target.substr(0, separator);
    std::string prefix = "." + target.substr(separator + 1) + ".";
    if (locked)
        removeStaleTemporaryFiles(folder, prefix);
    std::string pattern = target.substr(0, separator + 1) + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor temp(::mkostemp(name.data(), O_CLOEXEC));
    if (!temp.valid()) {
        // A writable file in a folder the user cannot write (or a full folder): write the
        // file itself, as saving did before it was made atomic.
        return writeInPlace(old.get(), pieces);
    }
    TemporaryFileName tempName(name.data());

    off_t written = 0;
    for (std::span<const uint8_t> piece : pieces) {
        if (!writeFully(temp.get(), piece.data(), piece.size()))
            return false;
        written += static_cast<off_t>(piece.size());
    }
    if (oldStat.st_size > written && !copyTail(old.get(), written, oldStat.st_size, temp.get()))
        return false;

    if (::fchmod(temp.get(), oldStat.st_mode & 07777) != 0)
        return false;
    if (oldStat.st_uid != ::geteuid() || oldStat.st_gid != ::getegid()) {
        if (::fchown(temp.get(), oldStat.st_uid, oldStat.st_gid) != 0) {
            // Only the owner may differ now; content and permissions are right.
        }
    }
    if (::fsync(temp.get()) != 0 || !temp.close())
        return false;
    if (::rename(tempName.path().c_str(), target.c_str()) != 0)
        return false;
    tempName.release();
    syncFolder(folder);
    return true;
}
