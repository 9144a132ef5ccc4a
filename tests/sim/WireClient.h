// A bare client of the simulator wire protocol, for the server tests.
#pragma once

#include "usb/SimWire.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace simtest {

class WireClient {
  public:
    WireClient(const std::string& path, char role) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        const uint8_t byte = static_cast<uint8_t>(role);
        send(&byte, 1);
    }
    ~WireClient() { close(); }
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    // Write pipe: one transfer; the server's status, or nullopt when the connection
    // ended or nothing came within `timeoutMs`.
    std::optional<int32_t> write(const std::vector<uint8_t>& bytes, int timeoutMs = 1000) {
        uint8_t header[4];
        putU32(header, static_cast<uint32_t>(bytes.size()));
        if (!send(header, 4) || !send(bytes.data(), bytes.size())) {
            return std::nullopt;
        }
        if (!receive(header, 4, timeoutMs)) {
            return std::nullopt;
        }
        return static_cast<int32_t>(getU32(header));
    }

    // Read pipe, in two steps so that a test can ask and then give up.
    bool ask(uint32_t maxLength) {
        uint8_t header[4];
        putU32(header, maxLength);
        return send(header, 4);
    }
    // The transfer asked for: its bytes, {-1} as a one-element marker when refused is
    // not needed here, so a refused transfer gives nullopt too.
    std::optional<std::vector<uint8_t>> answer(int timeoutMs = 1000) {
        uint8_t header[4];
        if (!receive(header, 4, timeoutMs)) {
            return std::nullopt;
        }
        const auto n = static_cast<int32_t>(getU32(header));
        if (n < 0) {
            return std::nullopt;
        }
        std::vector<uint8_t> bytes(static_cast<size_t>(n));
        if (n > 0 && !receive(bytes.data(), bytes.size(), timeoutMs)) {
            return std::nullopt;
        }
        return bytes;
    }
    std::optional<std::vector<uint8_t>> read(uint32_t maxLength, int timeoutMs = 1000) {
        if (!ask(maxLength)) {
            return std::nullopt;
        }
        return answer(timeoutMs);
    }

    // Interface probe answer byte, or nullopt.
    std::optional<uint8_t> probeAnswer() {
        uint8_t byte = 0;
        if (!receive(&byte, 1, 1000)) {
            return std::nullopt;
        }
        return byte;
    }

    // True when the server has closed the connection (within `timeoutMs`).
    bool closedByServer(int timeoutMs = 1000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return false;
        }
        uint8_t byte;
        return ::recv(fd_, &byte, 1, MSG_DONTWAIT) <= 0;
    }

  private:
    static void putU32(uint8_t* out, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            out[i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
    static uint32_t getU32(const uint8_t* in) {
        return uint32_t{in[0]} | (uint32_t{in[1]} << 8) | (uint32_t{in[2]} << 16) |
               (uint32_t{in[3]} << 24);
    }
    bool send(const uint8_t* data, size_t length) {
        while (length > 0) {
            const ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            data += n;
            length -= static_cast<size_t>(n);
        }
        return true;
    }
    bool receive(uint8_t* data, size_t length, int timeoutMs) {
        while (length > 0) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) {
                return false;
            }
            const ssize_t n = ::recv(fd_, data, length, 0);
            if (n <= 0) {
                return false;
            }
            data += n;
            length -= static_cast<size_t>(n);
        }
        return true;
    }

    int fd_ = -1;
};

} // namespace simtest
