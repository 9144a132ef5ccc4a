// How the simulated programmer is reached: the stand-in for the vendor driver's
// device interface and pipes, shared by the link (client) and the simulator (server).
//
// Each simulated programmer listens on a Unix stream socket in the simulator folder
// (simulatorFolder()); the socket's file name carries the IDs as the driver's device
// paths do, e.g. "usb#vid_10c4&pid_505d#sim-4242". The device path that discovery
// reports is the socket's full path.
//
// A client connects and sends one role byte:
//   'I'  interface probe: the server answers one byte 'K' and closes.
//   'W'  write pipe (PIPE01, host to programmer). Per transfer the host sends
//        u32 length, then that many bytes (length <= 4096); the server answers
//        i32 status: bytes accepted (0..length), or -1 for a refused transfer.
//        While a slow device takes the transfer bit by bit, the server may first
//        send progress frames: i32 -2, then u32 bytes taken so far.
//   'C'  vendor control request: the host sends the request byte and u16 length; the
//        server answers i32 n (0..length), then n bytes, or -1 for a refused request,
//        and closes.
//   'R'  read pipe (PIPE00, programmer to host). Per transfer the host sends
//        u32 maxLength; the server answers i32 n (0..maxLength), then n bytes;
//        or -1 for a refused transfer. The server answers only when it has data
//        for the host (a short or zero-length transfer ends a data phase), so a
//        read may block for as long as the programmer has nothing to say.
// All integers are little-endian. The server ending the connection is an unplug.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace simwire {

constexpr char kRoleInterface = 'I';
constexpr char kRoleWrite = 'W';
constexpr char kRoleRead = 'R';
constexpr char kRoleControl = 'C';
constexpr char kProbeAnswer = 'K';
constexpr uint32_t kMaxTransfer = 4096;
constexpr int32_t kRefused = -1;
constexpr int32_t kProgress = -2;
constexpr const char* kSocketPrefix = "usb#vid_10c4&pid_505d#";
// A simulated CH341A USB-to-SPI bridge (1a86:5512) with a chip on its bus.
constexpr const char* kCh341aSocketPrefix = "usb#vid_1a86&pid_5512#";
// A simulated CH347T high-speed USB-to-SPI bridge (1a86:55db).
constexpr const char* kCh347SocketPrefix = "usb#vid_1a86&pid_55db#";
// A simulated CH347F (1a86:55de); mi_04 names the interface its SPI and I2C are on.
constexpr const char* kCh347fSocketPrefix = "usb#vid_1a86&pid_55de&mi_04#";

// $BRIMWICK_SIM_DIR when set; else $XDG_RUNTIME_DIR/brimwick-sim; else /tmp/brimwick-sim-<uid>.
std::string simulatorFolder();

// Moves exactly `length` bytes, retrying short transfers and interrupted calls. False on
// an error or when the other end hung up. Sending never raises SIGPIPE.
bool sendAll(int fd, const uint8_t* data, size_t length);
bool recvAll(int fd, uint8_t* data, size_t length);

void putLittleEndian32(uint8_t* out, uint32_t value);
uint32_t getLittleEndian32(const uint8_t* in);

} // namespace simwire
