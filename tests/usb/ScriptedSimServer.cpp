#include "tests/usb/ScriptedSimServer.h"

#include "usb/SimWire.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace usbtest {

namespace {

void putI32(uint8_t* out, int32_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

// The host has nothing to send while it waits for an answer: a readable socket means
// it hung up.
bool hostHungUp(int fd) {
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0;
}

// Larger requests than this are a broken host, not a transfer.
constexpr uint32_t kMaxRequest = 1u << 20;

} // namespace

ScriptedSimServer::ScriptedSimServer(std::string socketPath, EmulatedEndpoints endpoints)
    : path_(std::move(socketPath)), endpoints_(std::move(endpoints)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path || ::pipe(stopPipe_) != 0)
        return;
    std::memcpy(address.sun_path, path_.data(), path_.size());
    ::unlink(path_.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        return;
    }
    listenFd_ = fd;
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedSimServer::~ScriptedSimServer() {
    stopping_ = true;
    if (stopPipe_[1] >= 0) {
        uint8_t byte = 0;
        [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &byte, 1);
    }
    if (acceptor_.joinable())
        acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
        connections.swap(connections_);
    }
    for (std::thread& connection : connections)
        connection.join();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
    for (int fd : stopPipe_)
        if (fd >= 0)
            ::close(fd);
}

std::vector<TransferRecord> ScriptedSimServer::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void ScriptedSimServer::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

bool ScriptedSimServer::waitUntilHangUpsSeen(int timeoutMs) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool hangUpOpen = false;
        {
            std::lock_guard lock(mutex_);
            for (int fd : openFds_) {
                pollfd p{fd, POLLRDHUP, 0};
                hangUpOpen = hangUpOpen || (::poll(&p, 1, 0) > 0 && (p.revents & POLLRDHUP));
            }
        }
        if (!hangUpOpen)
            return true;
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ScriptedSimServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (stopping_ || fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        openFds_.push_back(fd);
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

void ScriptedSimServer::forget(int fd) {
    {
        std::lock_guard lock(mutex_);
        openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    }
    ::close(fd);
}

void ScriptedSimServer::serve(int fd) {
    uint8_t role = 0;
    if (simwire::recvAll(fd, &role, 1)) {
        if (role == static_cast<uint8_t>(simwire::kRoleInterface)) {
            uint8_t answer = static_cast<uint8_t>(simwire::kProbeAnswer);
            simwire::sendAll(fd, &answer, 1);
        } else if (role == static_cast<uint8_t>(simwire::kRoleWrite)) {
            servePipe(fd, false);
        } else if (role == static_cast<uint8_t>(simwire::kRoleRead)) {
            servePipe(fd, true);
        }
    }
    forget(fd);
}

template <typename Offer> EmulatedTransfer ScriptedSimServer::untilAnswered(int fd, Offer offer) {
    for (;;) {
        if (stopping_ || hostHungUp(fd))
            return {EmulatedStatus::NotYet, 0};
        EmulatedTransfer answer = offer();
        if (answer.status != EmulatedStatus::NotYet)
            return answer;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ScriptedSimServer::servePipe(int fd, bool in) {
    std::vector<uint8_t> data;
    for (;;) {
        uint8_t header[4];
        if (!simwire::recvAll(fd, header, 4))
            return;
        uint32_t length = simwire::getLittleEndian32(header);
        if (length > kMaxRequest || (!in && length > simwire::kMaxTransfer))
            return;
        data.assign(length, 0);
        if (!in && length > 0 && !simwire::recvAll(fd, data.data(), length))
            return;
        {
            std::lock_guard lock(mutex_);
            log_.push_back({in, length});
        }
        EmulatedTransfer answer = untilAnswered(fd, [&] {
            return in ? endpoints_.hostWants(data.data(), length)
                      : endpoints_.hostWrote(data.data(), length);
        });
        // A hang-up while waiting, or an unplugged device: the connection ends.
        if (answer.status == EmulatedStatus::NotYet || answer.status == EmulatedStatus::Gone)
            return;
        int32_t status = answer.status == EmulatedStatus::Refused
                             ? -1
                             : static_cast<int32_t>(std::min(answer.length, length));
        putI32(header, status);
        if (!simwire::sendAll(fd, header, 4))
            return;
        if (in && status > 0 && !simwire::sendAll(fd, data.data(), static_cast<size_t>(status)))
            return;
    }
}

} // namespace usbtest
