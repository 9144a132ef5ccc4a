#include "sim/SimServer.h"

#include "usb/SimWire.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <list>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace sim {
namespace {

// How often waiting threads look up from the firmware to see whether their
// connection or the whole server is still wanted. Only how soon an abandoned thread
// ends depends on it: the firmware asks again before it moves any data.
constexpr auto kCheckInterval = std::chrono::milliseconds(10);
constexpr int kAcceptPollMs = 10;

std::atomic<uint32_t> serverCounter{0};

bool makeFolder(const std::string& folder, std::string* error) {
    // Each missing level is created in turn; the last one only for this user.
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), slash == std::string::npos ? 0700 : 0755) != 0 &&
            errno != EEXIST) {
            if (error != nullptr) {
                *error = "cannot create " + part + ": " + std::strerror(errno);
            }
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    // Someone else's folder (say, made in /tmp first) must not receive our socket.
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid()) {
        if (error != nullptr) {
            *error = "the simulator folder " + folder + " is not a folder of this user";
        }
        return false;
    }
    return true;
}

// True once the host has closed its end (nothing to read ever again).
bool peerClosed(int fd) {
    pollfd p{fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

} // namespace

struct SimServer::Impl {
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    Impl(UsbDeviceModel& firmware, std::string socketPrefix)
        : firmware(firmware), socketPrefix(std::move(socketPrefix)) {}

    UsbDeviceModel& firmware;
    const std::string socketPrefix;
    std::string path;
    int listenFd = -1;
    std::thread acceptThread;
    std::atomic<bool> stopping{false};
    // Connections are numbered as they are accepted; the newest of each pipe (by that
    // number, not by when its thread got going) is the one that moves data.
    uint32_t acceptedCount = 0; // accept thread only
    std::atomic<uint32_t> writeGeneration{0};
    std::atomic<uint32_t> readGeneration{0};

    std::mutex mutex; // guards connections and the plugged-in state
    std::list<Connection> connections;
    bool started = false;
    bool plugged = false;
    mutable std::mutex stateMutex;
    mutable std::condition_variable unpluggedSignal;

    bool wanted(int fd, const std::atomic<uint32_t>& generation, uint32_t mine) const {
        return !stopping.load() && generation.load() == mine && !peerClosed(fd);
    }

    void serveWritePipe(int fd, uint32_t mine) {
        const UsbDeviceModel::StillWanted stillWanted = [this, fd, mine] {
            return wanted(fd, writeGeneration, mine);
        };
        std::vector<uint8_t> data(simwire::kMaxTransfer);
        uint8_t header[4];
        while (simwire::recvAll(fd, header, 4)) {
            const uint32_t length = simwire::getLittleEndian32(header);
            if (length > simwire::kMaxTransfer || !simwire::recvAll(fd, data.data(), length)) {
                return;
            }
            int32_t status = simwire::kRefused;
            uint32_t taken = 0;
            for (;;) {
                const TransferResult r =
                    firmware.hostOut(data.data() + taken, length - taken,
                                     Clock::now() + kCheckInterval, stillWanted);
                if (r.status == TransferStatus::Done) {
                    taken += r.length;
                    if (taken >= length) {
                        status = static_cast<int32_t>(length);
                        break;
                    }
                    // A slow chip took part of it: the host learns it is still moving.
                    uint8_t progress[8];
                    simwire::putLittleEndian32(progress, static_cast<uint32_t>(simwire::kProgress));
                    simwire::putLittleEndian32(progress + 4, taken);
                    if (!simwire::sendAll(fd, progress, sizeof progress)) {
                        return;
                    }
                    continue;
                }
                if (r.status == TransferStatus::Refused) {
                    break;
                }
                if (r.status == TransferStatus::Gone || !wanted(fd, writeGeneration, mine)) {
                    return;
                }
            }
            simwire::putLittleEndian32(header, static_cast<uint32_t>(status));
            if (!simwire::sendAll(fd, header, 4)) {
                return;
            }
        }
    }

    void serveReadPipe(int fd, uint32_t mine) {
        // Asked by the firmware right before it hands over data: a read the host hung
        // up on, or replaced by a newer read pipe, must not take the next answer.
        const UsbDeviceModel::StillWanted stillWanted = [this, fd, mine] {
            return wanted(fd, readGeneration, mine);
        };
        std::vector<uint8_t> reply(4 + simwire::kMaxTransfer);
        uint8_t header[4];
        while (simwire::recvAll(fd, header, 4)) {
            const uint32_t maxLength = simwire::getLittleEndian32(header);
            if (maxLength > simwire::kMaxTransfer) {
                return;
            }
            int32_t status = simwire::kRefused;
            for (;;) {
                const TransferResult r = firmware.hostIn(
                    reply.data() + 4, maxLength, Clock::now() + kCheckInterval, stillWanted);
                if (r.status == TransferStatus::Done) {
                    status = static_cast<int32_t>(r.length);
                    break;
                }
                if (r.status == TransferStatus::Refused) {
                    break;
                }
                if (r.status == TransferStatus::Gone || !wanted(fd, readGeneration, mine)) {
                    return;
                }
            }
            simwire::putLittleEndian32(reply.data(), static_cast<uint32_t>(status));
            if (!simwire::sendAll(fd, reply.data(),
                                  4 + (status > 0 ? static_cast<size_t>(status) : 0))) {
                return;
            }
        }
    }

    // Makes `mine` the newest connection of a pipe unless a later-accepted one already is.
    void claimNewest(std::atomic<uint32_t>& generation, uint32_t mine) {
        uint32_t newest = generation.load();
        while (newest < mine && !generation.compare_exchange_weak(newest, mine)) {
        }
        firmware.wakeWaiters(); // an older connection of the pipe stops waiting at once
    }

    void serve(int fd, uint32_t mine) {
        uint8_t role = 0;
        if (!simwire::recvAll(fd, &role, 1)) {
            return;
        }
        if (role == simwire::kRoleControl) {
            uint8_t ask[3];
            if (!simwire::recvAll(fd, ask, sizeof ask)) {
                return;
            }
            const auto answer = firmware.vendorRead(ask[0], uint16_t(ask[1] | ask[2] << 8));
            const auto n = answer ? static_cast<uint32_t>(answer->size()) : 0;
            std::vector<uint8_t> reply(4 + n);
            simwire::putLittleEndian32(reply.data(),
                                       answer ? n : static_cast<uint32_t>(simwire::kRefused));
            if (answer) {
                std::copy(answer->begin(), answer->end(), reply.begin() + 4);
            }
            simwire::sendAll(fd, reply.data(), reply.size());
        } else if (role == simwire::kRoleInterface) {
            const uint8_t answer = simwire::kProbeAnswer;
            simwire::sendAll(fd, &answer, 1);
        } else if (role == simwire::kRoleWrite) {
            claimNewest(writeGeneration, mine);
            serveWritePipe(fd, mine);
        } else if (role == simwire::kRoleRead) {
            claimNewest(readGeneration, mine);
            serveReadPipe(fd, mine);
        }
    }

    void reapFinished() {
        std::lock_guard lock(mutex);
        for (auto it = connections.begin(); it != connections.end();) {
            if (it->finished.load()) {
                it->thread.join();
                ::close(it->fd);
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }

    void acceptLoop() {
        while (!stopping.load() && !firmware.isGone()) {
            pollfd p{listenFd, POLLIN, 0};
            const int ready = ::poll(&p, 1, kAcceptPollMs);
            reapFinished();
            if (ready <= 0) {
                continue;
            }
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            std::lock_guard lock(mutex);
            Connection& connection = connections.emplace_back();
            connection.fd = fd;
            const uint32_t mine = ++acceptedCount;
            connection.thread = std::thread([this, fd, mine, &connection] {
                serve(fd, mine);
                // The descriptor stays open until the thread is joined, so its number
                // cannot be reused under a later shutdown().
                ::shutdown(fd, SHUT_RDWR);
                connection.finished.store(true);
            });
        }
        unplug();
    }

    // The device leaves the bus: no new connections, every open one cut, socket gone.
    void unplug() {
        ::close(listenFd);
        listenFd = -1;
        ::unlink(path.c_str());
        stopping.store(true);
        {
            std::lock_guard lock(mutex);
            for (Connection& connection : connections) {
                ::shutdown(connection.fd, SHUT_RDWR);
            }
        }
        firmware.wakeWaiters();
        std::list<Connection> remaining;
        {
            std::lock_guard lock(mutex);
            remaining.swap(connections);
        }
        for (Connection& connection : remaining) {
            connection.thread.join();
            ::close(connection.fd);
        }
        std::lock_guard lock(stateMutex);
        plugged = false;
        unpluggedSignal.notify_all();
    }
};

SimServer::SimServer(UsbDeviceModel& device, std::string socketPrefix)
    : impl_(std::make_unique<Impl>(device, std::move(socketPrefix))) {}

SimServer::~SimServer() {
    stop();
}

bool SimServer::start(std::string* error) {
    Impl& s = *impl_;
    if (s.started) {
        if (error != nullptr) {
            *error = "the simulated programmer has already been plugged in";
        }
        return false;
    }
    const std::string folder = simwire::simulatorFolder();
    if (!makeFolder(folder, error)) {
        return false;
    }
    const std::string path = folder + "/" + s.socketPrefix + "sim-" + std::to_string(::getpid()) +
                             "-" + std::to_string(++serverCounter);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        if (error != nullptr) {
            *error = "socket path too long (" + std::to_string(path.size()) +
                     " characters, at most " + std::to_string(sizeof address.sun_path - 1) +
                     "): " + path;
        }
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error != nullptr) {
            *error = std::string("cannot create a socket: ") + std::strerror(errno);
        }
        return false;
    }
    ::unlink(path.c_str()); // left behind by an earlier process with the same id
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        if (error != nullptr) {
            *error = "cannot listen on " + path + ": " + std::strerror(errno);
        }
        ::close(fd);
        return false;
    }
    s.path = path;
    s.listenFd = fd;
    s.started = true;
    {
        std::lock_guard lock(s.stateMutex);
        s.plugged = true;
    }
    s.acceptThread = std::thread([&s] { s.acceptLoop(); });
    return true;
}

void SimServer::stop() {
    Impl& s = *impl_;
    s.stopping.store(true);
    s.firmware.wakeWaiters();
    if (s.acceptThread.joinable()) {
        s.acceptThread.join();
    }
}

bool SimServer::pluggedIn() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->plugged;
}

bool SimServer::waitUnplugged(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->stateMutex);
    return impl_->unpluggedSignal.wait_for(lock, timeout, [this] { return !impl_->plugged; });
}

std::string SimServer::socketPath() const {
    return impl_->path;
}

} // namespace sim
