// What a source of programmers (real USB devices, simulated programmers, or a test's
// list) offers the device link: the device paths of the present interfaces, opening
// an interface by path, and opening one of its two bulk pipes.
//
// Threads: a back end may be shared by several links, each on its own thread, so
// listPaths, openInterface and openPipe may be called concurrently. A pipe belongs to
// the link that opened it: its transfer worker calls read/write, one call at a time,
// and the link's owning thread calls cancel/rearm.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace usb {

enum class IoStatus {
    Ok,        // the call moved `bytes` (fewer than asked is normal)
    Failed,    // the call failed; the device may still be there
    Gone,      // the device is unplugged or its channel closed for good
    Cancelled, // cancel() stopped the call
};

struct IoResult {
    IoStatus status = IoStatus::Failed;
    uint32_t bytes = 0; // never more than the length asked
};

// One opened bulk pipe. read/write block until one transfer is over. One worker calls
// them at a time; cancel() and rearm() come from the window's thread.
class PipeChannel {
  public:
    virtual ~PipeChannel() = default;
    // One incoming transfer of at most `length` bytes into `dest`.
    virtual IoResult read(uint8_t* dest, uint32_t length) = 0;
    // Called during a write, from the calling thread, each time the device has taken
    // more of the transfer: `taken` bytes of it so far. A slow device (a byte-mode
    // EEPROM) may take a 4096-byte transfer over many seconds; this is how the link
    // tells such a device from one that has stopped.
    using WriteProgress = std::function<void(uint32_t taken)>;
    // One outgoing transfer of `length` bytes (0 = a zero-length transfer).
    virtual IoResult write(const uint8_t* src, uint32_t length, const WriteProgress& progress) = 0;
    // Makes the call in progress return Cancelled soon, and every later call at once,
    // until rearm(). Once the cancelled call has returned, nothing touches its buffer.
    virtual void cancel() = 0;
    // Makes the pipe usable again after cancel(); only called with no call in progress.
    virtual void rearm() = 0;
};

// An opened device interface. For the programmer only its existence matters; a bridge
// also answers vendor control requests (the CH341A its version, request 5F).
class InterfaceHandle {
  public:
    virtual ~InterfaceHandle() = default;
    // A vendor IN control request (request type C0, value and index 0) of at most
    // `length` bytes; nullopt when the device refuses it or the back end has none.
    virtual std::optional<std::vector<uint8_t>> vendorRead(uint8_t request, uint16_t length) {
        (void)request;
        (void)length;
        return std::nullopt;
    }
};

enum class PipeKind {
    Write, // "PIPE01", host to programmer (bulk OUT)
    Read,  // "PIPE00", programmer to host (bulk IN)
};

class DeviceBackend {
  public:
    virtual ~DeviceBackend() = default;
    // The device paths of the present interfaces, in a stable order.
    virtual std::vector<std::string> listPaths() = 0;
    // Null when the path cannot be opened.
    virtual std::shared_ptr<InterfaceHandle> openInterface(const std::string& path) = 0;
    // Null when the pipe cannot be opened.
    virtual std::shared_ptr<PipeChannel> openPipe(const std::string& devicePath, PipeKind kind) = 0;
};

// Reads a pipe name of the form "<device>\PIPE01" or "<device>\PIPE01\PIPE00": the
// last name decides the pipe, and every trailing pipe name is taken off the device path.
// false when the last name is not one of the two pipes.
bool parsePipePath(std::string_view name, std::string* devicePath, PipeKind* kind);

} // namespace usb
