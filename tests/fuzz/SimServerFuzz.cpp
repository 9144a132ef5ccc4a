// The simulated programmer's socket server fed arbitrary host bytes on one connection
// (the first byte is the role). It must neither crash nor hang, and must still answer
// the next host.
#include "sim/SimServer.h"
#include "tests/fuzz/FuzzSupport.h"
#include "usb/SimWire.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ChipInfo chip{ChipType::Flash25, "F", "", 0, 0, 4096, 1, 256, 0xEF, 0x14, 0, 8};
    static sim::ProgrammerFirmware firmware(&chip, {sim::kDefaultVersionText, {0, 0, 0}, {}});
    static sim::SimServer server(firmware);
    static sockaddr_un address = [] {
        char folder[] = "/tmp/bwfuzzXXXXXX";
        check(::mkdtemp(folder) && ::setenv("BRIMWICK_SIM_DIR", folder, 1) == 0 && server.start(),
              "plugged in");
        sockaddr_un socket{AF_UNIX, {}};
        std::strncpy(socket.sun_path, server.socketPath().c_str(), sizeof socket.sun_path - 1);
        return socket;
    }();
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    check(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "connects");
    simwire::sendAll(fd, data, size);
    ::shutdown(fd, SHUT_WR); // the host hangs up: whatever the server waits for ends
    // libFuzzer's timer interrupts calls now and then: those are simply made again.
    uint8_t sink[4096];
    ssize_t got = 1;
    for (int waited = 0; got != 0 && waited < 200;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) == 0)
            ++waited;
        else if ((got = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT)) < 0 && errno != EINTR &&
                 errno != EAGAIN)
            break;
    }
    check(got <= 0, "the server ends the connection within 2 s");
    ::close(fd);
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint8_t answer = 'I';
    check(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              simwire::sendAll(fd, &answer, 1) && simwire::recvAll(fd, &answer, 1) && answer == 'K',
          "the next host is answered");
    ::close(fd);
    return 0;
}
