// The programmer as an emulated USB device (10c4:505d, one interface, bulk OUT 0x01 and
// bulk IN 0x81, 64-byte packets) in a umockdev testbed, reached by libusb through the
// kernel's usbfs calls, which umockdev hands to this object. Whatever plays the
// programmer answers through a pair of callbacks (EmulatedEndpoints).
//
// The process must run with the umockdev preload (umockdev-wrapper). Use one instance
// per process, created before libusb is first used.
#pragma once

#include "tests/usb/EmulatedDevice.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace usbtest {

class UmockdevProgrammer {
  public:
    // The device path the link reports for the emulated programmer.
    static constexpr const char* kDevicePath = "usb:1-1#vid_10c4&pid_505d";

    static bool preloadActive();

    UmockdevProgrammer(); // a root hub and the programmer on bus 1, port 1
    ~UmockdevProgrammer();
    UmockdevProgrammer(const UmockdevProgrammer&) = delete;
    UmockdevProgrammer& operator=(const UmockdevProgrammer&) = delete;

    // Who answers the bulk transfers from now on; also plugs the device back in after
    // the callbacks reported it gone.
    void setEndpoints(EmulatedEndpoints endpoints);
    std::vector<TransferRecord> log() const;
    void clearLog();
    // Transfers the host cancelled and has not yet taken back.
    size_t cancelledTransfers() const;

  private:
    struct Urb {
        UMockdevIoctlData* data = nullptr; // holds a reference
        bool in = false;
        uint32_t length = 0;
    };

    static int handleIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool onIoctl(UMockdevIoctlClient* client);
    void submit(UMockdevIoctlClient* client);
    void reap(UMockdevIoctlClient* client);
    void discard(UMockdevIoctlClient* client);
    // Hands a finished URB back through the reap call's pointer argument.
    void giveBack(UMockdevIoctlClient* client, Urb urb);

    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
    mutable std::mutex mutex_;
    EmulatedEndpoints endpoints_;
    bool gone_ = false;
    std::deque<Urb> flying_;
    std::deque<Urb> discarded_;
    std::vector<TransferRecord> log_;
};

} // namespace usbtest
