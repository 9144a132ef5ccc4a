#include "tests/usb/UmockdevProgrammer.h"

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

namespace usbtest {

namespace {

constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";

// Root hub: device, configuration, hub interface, interrupt endpoint.
constexpr const char* kHub = "P: /devices/usb1\nN: bus/usb/001/001\nE: SUBSYSTEM=usb\n"
                             "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=001\n"
                             "E: DEVNAME=/dev/bus/usb/001/001\nA: busnum=1\\n\nA: devnum=1\\n\n"
                             "A: bConfigurationValue=1\\n\nA: speed=480\\n\nA: idVendor=1d6b\\n\n"
                             "A: idProduct=0002\\n\n"
                             "H: descriptors=12010002090001406b1d02000506030201010902190001"
                             "0100e0000904000001090000000705810304000c\n";

// The programmer: full speed, vendor-specific interface 0 with bulk OUT 0x01 and bulk
// IN 0x81 of 64 bytes.
constexpr const char* kProgrammer =
    "P: /devices/usb1/1-1\nN: bus/usb/001/002\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
    "E: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=002\nE: DEVNAME=/dev/bus/usb/001/002\n"
    "A: busnum=1\\n\nA: devnum=2\\n\nA: bConfigurationValue=1\\n\nA: speed=12\\n\n"
    "A: idVendor=10c4\\n\nA: idProduct=505d\\n\n"
    "H: descriptors=1201000200000040c4105d500001010200010902200001010080320904000002ff000000"
    "0705010240000007058102400000\n";

usbdevfs_urb* rawOf(UMockdevIoctlData* data) {
    return reinterpret_cast<usbdevfs_urb*>(data->data);
}

} // namespace

bool UmockdevProgrammer::preloadActive() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

UmockdevProgrammer::UmockdevProgrammer() {
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(handleIoctl), this);
    // The handler must be in place before the device appears and libusb may open it.
    umockdev_testbed_attach_ioctl(testbed_, kDeviceNode, handler_, nullptr);
    umockdev_testbed_add_from_string(testbed_, kHub, nullptr);
    umockdev_testbed_add_from_string(testbed_, kProgrammer, nullptr);
}

UmockdevProgrammer::~UmockdevProgrammer() {
    g_object_unref(testbed_);
    g_object_unref(handler_);
    for (auto* list : {&flying_, &discarded_})
        for (Urb& urb : *list)
            g_object_unref(urb.data);
}

void UmockdevProgrammer::attach(sim::ProgrammerFirmware* firmware) {
    std::lock_guard lock(mutex_);
    firmware_ = firmware;
    gone_ = false;
}

size_t UmockdevProgrammer::cancelledTransfers() const {
    std::lock_guard lock(mutex_);
    return discarded_.size();
}

int UmockdevProgrammer::handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    return static_cast<UmockdevProgrammer*>(self)->onIoctl(client);
}

bool UmockdevProgrammer::onIoctl(UMockdevIoctlClient* client) {
    std::lock_guard lock(mutex_);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
        *reinterpret_cast<guint32*>(caps->data) =
            USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
            USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(caps);
        return true;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_DISCONNECT_CLAIM: // no kernel driver to disconnect
        umockdev_ioctl_client_complete(client, gone_ ? -1 : 0, gone_ ? ENODEV : 0);
        return true;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
        umockdev_ioctl_client_complete(client, -1, ENODATA);
        return true;
    case USBDEVFS_SUBMITURB:
        submit(client);
        return true;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        reap(client);
        return true;
    case USBDEVFS_DISCARDURB:
        discard(client);
        return true;
    default:
        return false;
    }
}

void UmockdevProgrammer::submit(UMockdevIoctlClient* client) {
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                                          sizeof(usbdevfs_urb), nullptr);
    usbdevfs_urb* urb = rawOf(data);
    const bool bulk = urb->type == USBDEVFS_URB_TYPE_BULK &&
                      (urb->endpoint == 0x01 || urb->endpoint == 0x81) && urb->buffer_length >= 0;
    if (!bulk || gone_) {
        umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EINVAL);
        g_object_unref(data);
        return;
    }
    // The buffer becomes a local copy that goes back to the host with the URB.
    if (urb->buffer_length > 0)
        g_object_unref(umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                   urb->buffer_length, nullptr));
    flying_.push_back({data, urb->endpoint == 0x81, static_cast<uint32_t>(urb->buffer_length)});
    umockdev_ioctl_client_complete(client, 0, 0);
}

void UmockdevProgrammer::reap(UMockdevIoctlClient* client) {
    if (!discarded_.empty()) {
        Urb urb = discarded_.front();
        discarded_.pop_front();
        giveBack(client, urb, -ENOENT, urb.taken);
        return;
    }
    for (auto it = flying_.begin(); it != flying_.end(); ++it) {
        uint8_t none = 0;
        uint8_t* bytes = it->length > 0 ? static_cast<uint8_t*>(rawOf(it->data)->buffer) : &none;
        sim::TransferResult answer{sim::TransferStatus::Gone, 0, {}};
        if (!gone_ && !firmware_)
            continue;
        if (!gone_)
            answer = it->in ? firmware_->hostIn(bytes, it->length)
                            : firmware_->hostOut(bytes + it->taken, it->length - it->taken);
        if (answer.status == sim::TransferStatus::NotYet)
            continue;
        if (answer.status == sim::TransferStatus::Done && !it->in &&
            it->taken + answer.length < it->length) {
            it->taken += answer.length; // a slow device has taken part of it
            continue;
        }
        Urb urb = *it;
        flying_.erase(it);
        if (answer.status == sim::TransferStatus::Done)
            giveBack(client, urb, 0, urb.in ? answer.length : urb.length);
        else if (answer.status == sim::TransferStatus::Refused)
            giveBack(client, urb, -EPIPE, 0); // a stalled endpoint
        else {
            gone_ = true;
            giveBack(client, urb, -ENODEV, 0);
        }
        return;
    }
    umockdev_ioctl_client_complete(client, -1, EAGAIN);
}

void UmockdevProgrammer::discard(UMockdevIoctlClient* client) {
    const gulong address = *reinterpret_cast<gulong*>(umockdev_ioctl_client_get_arg(client)->data);
    auto it = std::find_if(flying_.begin(), flying_.end(),
                           [&](const Urb& urb) { return urb.data->client_addr == address; });
    if (it == flying_.end()) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    discarded_.push_back(*it);
    flying_.erase(it);
    umockdev_ioctl_client_complete(client, 0, 0);
}

// Hands a finished URB back through the reap call's pointer argument.
void UmockdevProgrammer::giveBack(UMockdevIoctlClient* client, Urb urb, int status,
                                  uint32_t actual) {
    rawOf(urb.data)->status = status;
    rawOf(urb.data)->actual_length = static_cast<int>(std::min(actual, urb.length));
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client),
                                                             0, sizeof(gpointer), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, urb.data);
    umockdev_ioctl_client_complete(client, 0, 0);
    g_object_unref(pointer);
    g_object_unref(urb.data);
}

} // namespace usbtest
