// Simulated programmers reached through Unix stream sockets (protocol in SimWire.h).
#include "usb/Backends.h"
#include "usb/SimWire.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace usb {

namespace {

// A server that takes longer than this to accept or to answer the probe counts as absent.
constexpr int kConnectTimeoutMs = 500;

bool waitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0 && (p.revents & (events | POLLHUP | POLLERR));
    }
}

// A Unix socket refuses at once when nobody listens and says EAGAIN while its server's
// backlog is full; the attempt is repeated until the time limit or until `stop` says so.
int connectSocket(const std::string& path, const std::function<bool()>& stop) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.data(), path.size());

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            break;
        bool retry = (errno == EAGAIN || errno == EINTR) &&
                     std::chrono::steady_clock::now() < until && !(stop && stop());
        if (!retry) {
            ::close(fd);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int32_t getI32(const uint8_t* in) {
    return static_cast<int32_t>(simwire::getLittleEndian32(in));
}

// Connects and announces the role; -1 on failure.
int openChannel(const std::string& path, char role, const std::function<bool()>& stop = {}) {
    int fd = connectSocket(path, stop);
    if (fd < 0)
        return -1;
    uint8_t byte = static_cast<uint8_t>(role);
    if (!simwire::sendAll(fd, &byte, 1)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool probe(const std::string& path) {
    int fd = openChannel(path, simwire::kRoleInterface);
    if (fd < 0)
        return false;
    uint8_t answer = 0;
    bool present = waitFor(fd, POLLIN, kConnectTimeoutMs) &&
                   ::recv(fd, &answer, 1, MSG_DONTWAIT) == 1 &&
                   answer == static_cast<uint8_t>(simwire::kProbeAnswer);
    ::close(fd);
    return present;
}

class SimInterface : public InterfaceHandle {
  public:
    explicit SimInterface(std::string path) : path_(std::move(path)) {}

    std::optional<std::vector<uint8_t>> vendorRead(uint8_t request, uint16_t length) override {
        const int fd = openChannel(path_, simwire::kRoleControl);
        if (fd < 0)
            return std::nullopt;
        const uint8_t ask[3] = {request, static_cast<uint8_t>(length),
                                static_cast<uint8_t>(length >> 8)};
        uint8_t header[4];
        std::optional<std::vector<uint8_t>> answer;
        if (simwire::sendAll(fd, ask, sizeof ask) && waitFor(fd, POLLIN, kConnectTimeoutMs) &&
            simwire::recvAll(fd, header, 4)) {
            const int32_t n = getI32(header);
            std::vector<uint8_t> bytes(n > 0 && n <= length ? static_cast<size_t>(n) : 0);
            if (n >= 0 && n <= length && simwire::recvAll(fd, bytes.data(), bytes.size()))
                answer = std::move(bytes);
        }
        ::close(fd);
        return answer;
    }

  private:
    const std::string path_;
};

class SimPipe : public PipeChannel {
  public:
    SimPipe(std::string path, char role, int fd) : path_(std::move(path)), role_(role), fd_(fd) {}
    ~SimPipe() override {
        if (fd_ >= 0)
            ::close(fd_);
    }

    IoResult read(uint8_t* dest, uint32_t length) override {
        IoResult early;
        int fd = begin(&early);
        if (fd < 0)
            return early;
        uint8_t header[4];
        simwire::putLittleEndian32(header, length);
        if (!simwire::sendAll(fd, header, 4) || !simwire::recvAll(fd, header, 4))
            return lost();
        int32_t status = getI32(header);
        if (status == simwire::kRefused)
            return {IoStatus::Failed, 0};
        if (status < 0 || static_cast<uint32_t>(status) > length)
            return confused();
        if (status > 0 && !simwire::recvAll(fd, dest, static_cast<size_t>(status)))
            return lost();
        return {IoStatus::Ok, static_cast<uint32_t>(status)};
    }

    IoResult write(const uint8_t* src, uint32_t length, const WriteProgress& progress) override {
        IoResult early;
        int fd = begin(&early);
        if (fd < 0)
            return early;
        uint8_t header[4];
        simwire::putLittleEndian32(header, length);
        if (!simwire::sendAll(fd, header, 4) || (length > 0 && !simwire::sendAll(fd, src, length)))
            return lost();
        for (;;) {
            if (!simwire::recvAll(fd, header, 4))
                return lost();
            const int32_t status = getI32(header);
            if (status == simwire::kRefused)
                return {IoStatus::Failed, 0};
            if (status == simwire::kProgress) {
                if (!simwire::recvAll(fd, header, 4))
                    return lost();
                if (simwire::getLittleEndian32(header) > length)
                    return confused();
                if (progress)
                    progress(simwire::getLittleEndian32(header));
                continue;
            }
            if (status < 0 || static_cast<uint32_t>(status) > length)
                return confused();
            return {IoStatus::Ok, static_cast<uint32_t>(status)};
        }
    }

    void cancel() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (fd_ >= 0) {
            ::shutdown(fd_, SHUT_RDWR);
            broken_ = true;
        }
    }

    void rearm() override {
        std::lock_guard lock(mutex_);
        cancelled_ = false;
    }

  private:
    // The descriptor for one call, reconnecting after a call was cut off; -1 with
    // `early` set when the call cannot be made.
    int begin(IoResult* early) {
        {
            std::lock_guard lock(mutex_);
            if (cancelled_) {
                *early = {IoStatus::Cancelled, 0};
                return -1;
            }
            if (gone_) {
                *early = {IoStatus::Gone, 0};
                return -1;
            }
            if (!broken_)
                return fd_;
            if (fd_ >= 0)
                ::close(fd_);
            fd_ = -1;
        }
        // A transfer cut off half-way leaves the stream out of step: start a new one.
        int fd = openChannel(path_, role_, [this] { return cancelled_.load(); });
        std::lock_guard lock(mutex_);
        if (cancelled_) {
            if (fd >= 0)
                ::close(fd);
            *early = {IoStatus::Cancelled, 0};
            return -1;
        }
        if (fd < 0) {
            gone_ = true;
            *early = {IoStatus::Gone, 0};
            return -1;
        }
        fd_ = fd;
        broken_ = false;
        return fd_;
    }

    // The connection failed under a call: our own cancel, or the server went away.
    IoResult lost() {
        std::lock_guard lock(mutex_);
        broken_ = true;
        if (cancelled_)
            return {IoStatus::Cancelled, 0};
        gone_ = true;
        return {IoStatus::Gone, 0};
    }

    // The server broke the protocol: nothing more is read from this stream.
    IoResult confused() {
        std::lock_guard lock(mutex_);
        broken_ = true;
        if (fd_ >= 0)
            ::shutdown(fd_, SHUT_RDWR);
        return {IoStatus::Failed, 0};
    }

    const std::string path_;
    const char role_;
    std::mutex mutex_;
    int fd_ = -1;
    std::atomic<bool> cancelled_{false}; // written under mutex_, also read while connecting
    bool broken_ = false;
    bool gone_ = false;
};

class SimBackend : public DeviceBackend {
  public:
    explicit SimBackend(std::string folder) : folder_(std::move(folder)) {}

    std::vector<std::string> listPaths() override {
        std::string folder = folder_.empty() ? simwire::simulatorFolder() : folder_;
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(std::move(name));
            }
            ::closedir(dir);
        }
        std::sort(names.begin(), names.end());
        std::vector<std::string> paths;
        for (const std::string& name : names) {
            std::string path = folder + "/" + name;
            struct stat info {};
            if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && probe(path))
                paths.push_back(std::move(path));
        }
        return paths;
    }

    std::shared_ptr<InterfaceHandle> openInterface(const std::string& path) override {
        if (!probe(path))
            return nullptr;
        return std::make_shared<SimInterface>(path);
    }

    std::shared_ptr<PipeChannel> openPipe(const std::string& devicePath, PipeKind kind) override {
        char role = kind == PipeKind::Write ? simwire::kRoleWrite : simwire::kRoleRead;
        int fd = openChannel(devicePath, role);
        if (fd < 0)
            return nullptr;
        return std::make_shared<SimPipe>(devicePath, role, fd);
    }

  private:
    const std::string folder_;
};

} // namespace

std::shared_ptr<DeviceBackend> makeSimBackend(std::string folder) {
    return std::make_shared<SimBackend>(std::move(folder));
}

std::vector<std::shared_ptr<DeviceBackend>> defaultBackends() {
    return {makeLibusbBackend(), makeSimBackend()};
}

} // namespace usb
