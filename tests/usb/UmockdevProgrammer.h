// The programmer as an emulated USB device (10c4:505d behind a root hub, one interface,
// bulk OUT 0x01 and bulk IN 0x81, 64-byte packets) in a umockdev testbed, reached by
// libusb through the kernel's usbfs calls, which umockdev hands to this object. The
// simulated firmware answers its bulk transfers, taking OUT data bit by bit when it is
// slow, as a real device takes a transfer packet by packet.
//
// The process must run with the umockdev preload; one instance per process, created
// before libusb is first used.
#pragma once

#include "sim/ProgrammerFirmware.h"

#include <deque>
#include <mutex>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace usbtest {

class UmockdevProgrammer {
  public:
    static constexpr const char* kDevicePath = "usb:1-1#vid_10c4&pid_505d";
    static bool preloadActive();

    UmockdevProgrammer();
    ~UmockdevProgrammer();
    UmockdevProgrammer(const UmockdevProgrammer&) = delete;
    UmockdevProgrammer& operator=(const UmockdevProgrammer&) = delete;

    // Who answers from now on (null: nobody, transfers wait); plugs the device back in.
    void attach(sim::ProgrammerFirmware* firmware);
    // Transfers the host cancelled and has not yet taken back.
    size_t cancelledTransfers() const;

  private:
    struct Urb {
        UMockdevIoctlData* data = nullptr; // holds a reference
        bool in = false;
        uint32_t length = 0;
        uint32_t taken = 0; // OUT bytes the firmware took so far
    };
    static int handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    bool onIoctl(UMockdevIoctlClient* client);
    void submit(UMockdevIoctlClient* client);
    void reap(UMockdevIoctlClient* client);
    void discard(UMockdevIoctlClient* client);
    void giveBack(UMockdevIoctlClient* client, Urb urb, int status, uint32_t actual);

    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;
    mutable std::mutex mutex_;
    sim::ProgrammerFirmware* firmware_ = nullptr;
    bool gone_ = false;
    std::deque<Urb> flying_;
    std::deque<Urb> discarded_;
};

} // namespace usbtest
