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
constexpr unsigned char kOutEndpoint = 0x01;
constexpr unsigned char kInEndpoint = 0x81;

// Root hub: device, configuration, hub interface, interrupt endpoint.
constexpr const char* kHub = "P: /devices/usb1\n"
                             "N: bus/usb/001/001\n"
                             "E: SUBSYSTEM=usb\n"
                             "E: DEVTYPE=usb_device\n"
                             "E: DRIVER=usb\n"
                             "E: BUSNUM=001\n"
                             "E: DEVNUM=001\n"
                             "E: DEVNAME=/dev/bus/usb/001/001\n"
                             "A: busnum=1\\n\n"
                             "A: devnum=1\\n\n"
                             "A: bConfigurationValue=1\\n\n"
                             "A: speed=480\\n\n"
                             "A: idVendor=1d6b\\n\n"
                             "A: idProduct=0002\\n\n"
                             "H: descriptors=12010002090001406b1d02000506030201010902190001"
                             "0100e0000904000001090000000705810304000c\n";

// The programmer: full speed, vendor-specific interface 0 with bulk OUT 0x01 and bulk
// IN 0x81 of 64 bytes.
constexpr const char* kProgrammer = "P: /devices/usb1/1-1\n"
                                    "N: bus/usb/001/002\n"
                                    "E: SUBSYSTEM=usb\n"
                                    "E: DEVTYPE=usb_device\n"
                                    "E: DRIVER=usb\n"
                                    "E: BUSNUM=001\n"
                                    "E: DEVNUM=002\n"
                                    "E: DEVNAME=/dev/bus/usb/001/002\n"
                                    "A: busnum=1\\n\n"
                                    "A: devnum=2\\n\n"
                                    "A: bConfigurationValue=1\\n\n"
                                    "A: speed=12\\n\n"
                                    "A: idVendor=10c4\\n\n"
                                    "A: idProduct=505d\\n\n"
                                    "H: descriptors=1201000200000040c4105d50000101020001"
                                    "0902200001010080320904000002ff000000"
                                    "0705010240000007058102400000\n";

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

void UmockdevProgrammer::setEndpoints(EmulatedEndpoints endpoints) {
    std::lock_guard lock(mutex_);
    endpoints_ = std::move(endpoints);
    gone_ = false;
}

std::vector<TransferRecord> UmockdevProgrammer::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void UmockdevProgrammer::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
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
        umockdev_ioctl_client_complete(client, gone_ ? -1 : 0, gone_ ? ENODEV : 0);
        return true;
    case USBDEVFS_DISCONNECT_CLAIM:
        // Nothing to disconnect: the interface is simply claimed.
        umockdev_ioctl_client_complete(client, gone_ ? -1 : 0, gone_ ? ENODEV : 0);
        return true;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
        // No kernel driver is bound to the interface.
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
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* data =
        umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_urb), nullptr);
    auto* urb = reinterpret_cast<struct usbdevfs_urb*>(data->data);
    bool bulk = urb->type == USBDEVFS_URB_TYPE_BULK &&
                (urb->endpoint == kOutEndpoint || urb->endpoint == kInEndpoint);
    if (!bulk || urb->buffer_length < 0) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        g_object_unref(data);
        return;
    }
    if (gone_) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        g_object_unref(data);
        return;
    }
    // The buffer becomes a local copy that goes back to the host with the URB.
    if (urb->buffer_length > 0) {
        UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
            data, offsetof(struct usbdevfs_urb, buffer), urb->buffer_length, nullptr);
        if (buffer)
            g_object_unref(buffer); // the URB's data keeps it
    }
    Urb pending{data, urb->endpoint == kInEndpoint, static_cast<uint32_t>(urb->buffer_length)};
    log_.push_back({pending.in, pending.length});
    flying_.push_back(pending);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void UmockdevProgrammer::reap(UMockdevIoctlClient* client) {
    if (!discarded_.empty()) {
        Urb urb = discarded_.front();
        discarded_.pop_front();
        auto* raw = reinterpret_cast<struct usbdevfs_urb*>(urb.data->data);
        raw->status = -ENOENT;
        raw->actual_length = 0;
        giveBack(client, urb);
        return;
    }
    for (auto it = flying_.begin(); it != flying_.end(); ++it) {
        auto* raw = reinterpret_cast<struct usbdevfs_urb*>(it->data->data);
        uint8_t none = 0;
        uint8_t* bytes = it->length > 0 ? static_cast<uint8_t*>(raw->buffer) : &none;
        EmulatedTransfer answer{EmulatedStatus::Gone, 0};
        if (!gone_) {
            if (it->in && endpoints_.hostWants)
                answer = endpoints_.hostWants(bytes, it->length);
            else if (!it->in && endpoints_.hostWrote)
                answer = endpoints_.hostWrote(bytes, it->length);
            else
                answer = {EmulatedStatus::NotYet, 0};
        }
        switch (answer.status) {
        case EmulatedStatus::NotYet:
            continue;
        case EmulatedStatus::Done:
            raw->status = 0;
            raw->actual_length = static_cast<int>(std::min(answer.length, it->length));
            break;
        case EmulatedStatus::Refused:
            raw->status = -EPIPE; // a stalled endpoint
            raw->actual_length = 0;
            break;
        case EmulatedStatus::Gone:
            gone_ = true;
            raw->status = -ENODEV;
            raw->actual_length = 0;
            break;
        }
        Urb urb = *it;
        flying_.erase(it);
        giveBack(client, urb);
        return;
    }
    umockdev_ioctl_client_complete(client, -1, EAGAIN);
}

void UmockdevProgrammer::discard(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    gulong address = *reinterpret_cast<gulong*>(arg->data);
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

void UmockdevProgrammer::giveBack(UMockdevIoctlClient* client, Urb urb) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, urb.data);
    umockdev_ioctl_client_complete(client, 0, 0);
    g_object_unref(pointer);
    g_object_unref(urb.data);
}

} // namespace usbtest
