// A simulated programmer's socket (protocol in usb/SimWire.h) whose device side is a
// pair of callbacks. Logs every transfer the host asks for.
#pragma once

#include "tests/usb/EmulatedDevice.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace usbtest {

class ScriptedSimServer {
  public:
    // Listens on `socketPath` at once.
    ScriptedSimServer(std::string socketPath, EmulatedEndpoints endpoints);
    ~ScriptedSimServer(); // ends every connection and removes the socket
    ScriptedSimServer(const ScriptedSimServer&) = delete;
    ScriptedSimServer& operator=(const ScriptedSimServer&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    const std::string& path() const { return path_; }
    std::vector<TransferRecord> log() const;
    void clearLog();
    // Waits (up to `timeoutMs`) until every connection the host has hung up on is
    // closed here too, so that no request of it can take data meant for a newer one.
    bool waitUntilHangUpsSeen(int timeoutMs) const;

  private:
    void acceptLoop();
    void serve(int fd);
    void servePipe(int fd, bool in);
    // Calls `offer` until it is not NotYet; NotYet as well when the host hangs up or the
    // server stops meanwhile.
    template <typename Offer> EmulatedTransfer untilAnswered(int fd, Offer offer);
    void forget(int fd);

    const std::string path_;
    const EmulatedEndpoints endpoints_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<int> openFds_;
    std::vector<TransferRecord> log_;
};

} // namespace usbtest
