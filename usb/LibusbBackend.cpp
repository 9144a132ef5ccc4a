// Programmers on the USB bus, reached through libusb-1.0 and the kernel's usbfs.
#include "usb/Backends.h"
#include "usb/ReadAheadRing.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

namespace usb {

namespace {

// How long one wait for USB events lasts before the worker looks at its transfer again.
constexpr int kEventWaitUs = 100'000;
// A write is submitted for at most this long at a time; when it runs out, the bytes
// the device took so far are progress, and the rest of the transfer goes out again.
// Bulk packets are whole, so the device sees the same packets either way.
constexpr unsigned kWriteSliceMs = 250;
// Only the programmer and the CH341A/CH347 USB-to-SPI bridges (CH341A: bulk OUT 0x02, IN
// 0x82, 32-byte packets) are listed: hubs, keyboards and cameras never count toward the interface
// limit. The link picks the programmer out by its IDs in the path.
constexpr uint16_t kProgrammerVendor = 0x10C4;
constexpr uint16_t kProgrammerProduct = 0x505D;
constexpr uint16_t kCh341aVendor = 0x1A86;
constexpr uint16_t kCh341aProduct = 0x5512;
// The CH347T and CH347F (high speed, 512-byte packets) also offer UARTs and I2C/GPIO on
// other interfaces; SPI is on its own interface, whose bulk pair is the one opened.
constexpr uint16_t kCh347tProduct = 0x55DB;
constexpr uint16_t kCh347fProduct = 0x55DE;
constexpr int kCh347tSpiInterface = 2;
constexpr int kCh347fSpiInterface = 4;

bool isListed(uint16_t vendor, uint16_t product) {
    if (vendor == kProgrammerVendor)
        return product == kProgrammerProduct;
    return vendor == kCh341aVendor &&
           (product == kCh341aProduct || product == kCh347tProduct || product == kCh347fProduct);
}

// The interface that carries the device's bulk pair; -1: the first that has one.
int wantedInterface(uint16_t vendor, uint16_t product) {
    if (vendor == kCh341aVendor && product == kCh347tProduct)
        return kCh347tSpiInterface;
    if (vendor == kCh341aVendor && product == kCh347fProduct)
        return kCh347fSpiInterface;
    return -1;
}

class LibusbContext {
  public:
    static std::shared_ptr<LibusbContext> create() {
        libusb_context* context = nullptr;
        if (libusb_init(&context) != 0)
            return nullptr;
        return std::shared_ptr<LibusbContext>(new LibusbContext(context));
    }
    ~LibusbContext() { libusb_exit(context_); }
    LibusbContext(const LibusbContext&) = delete;
    LibusbContext& operator=(const LibusbContext&) = delete;
    libusb_context* get() const { return context_; }

  private:
    explicit LibusbContext(libusb_context* context) : context_(context) {}
    libusb_context* context_;
};

// One opened device with its claimed interface; shared by the interface handle and
// the two pipes, released when the last of them goes.
struct Session {
    std::shared_ptr<LibusbContext> context;
    libusb_device_handle* handle = nullptr;
    int interfaceNumber = 0;
    uint8_t inEndpoint = 0;
    uint8_t outEndpoint = 0;
    uint8_t bus = 0;
    uint8_t address = 0;
    bool bridge = false; // a CH341A/CH347: its IN pipe reads ahead

    ~Session() {
        libusb_release_interface(handle, interfaceNumber);
        libusb_close(handle);
    }
};

class LibusbInterface : public InterfaceHandle {
  public:
    explicit LibusbInterface(std::shared_ptr<Session> session) : session_(std::move(session)) {}

    std::optional<std::vector<uint8_t>> vendorRead(uint8_t request, uint16_t length) override {
        constexpr unsigned kControlTimeoutMs = 1000;
        constexpr uint8_t kVendorIn = 0xC0; // device to host, vendor, device
        std::vector<uint8_t> answer(length);
        const int n = libusb_control_transfer(session_->handle, kVendorIn, request, 0, 0,
                                              answer.data(), length, kControlTimeoutMs);
        if (n < 0)
            return std::nullopt;
        answer.resize(std::min<size_t>(static_cast<size_t>(n), length));
        return answer;
    }

  private:
    std::shared_ptr<Session> session_;
};

class LibusbPipe : public PipeChannel {
  public:
    LibusbPipe(std::shared_ptr<Session> session, uint8_t endpoint)
        : session_(std::move(session)), endpoint_(endpoint) {
        // A bridge answers in short packets: one pending transfer would cost a round
        // trip per packet. The programmer's pipes keep one transfer per call.
        if (session_->bridge && (endpoint_ & LIBUSB_ENDPOINT_IN) != 0) {
            const int packet =
                libusb_get_max_packet_size(libusb_get_device(session_->handle), endpoint_);
            ring_ = std::make_unique<ReadAheadRing>(
                session_->context->get(), session_->handle, endpoint_,
                packet > 0 ? static_cast<uint32_t>(packet) : 64);
        }
    }

    IoResult read(uint8_t* dest, uint32_t length) override {
        if ((endpoint_ & LIBUSB_ENDPOINT_IN) == 0)
            return {IoStatus::Failed, 0};
        // Asking the device for nothing is not a USB transfer: any packet it sent
        // would overflow the request.
        if (length == 0)
            return {IoStatus::Ok, 0};
        if (ring_)
            return ring_->read(dest, length);
        return run(dest, length, 0, nullptr);
    }

    IoResult write(const uint8_t* src, uint32_t length, const WriteProgress& progress) override {
        if ((endpoint_ & LIBUSB_ENDPOINT_IN) != 0)
            return {IoStatus::Failed, 0};
        // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
        auto* data = const_cast<uint8_t*>(src);
        uint32_t taken = 0;
        for (;;) {
            bool timedOut = false;
            IoResult call = run(data + taken, length - taken, kWriteSliceMs, &timedOut);
            if (!timedOut)
                return call.status == IoStatus::Ok ? IoResult{IoStatus::Ok, taken + call.bytes}
                                                   : call;
            if (call.bytes > 0) {
                taken += call.bytes;
                if (progress)
                    progress(taken);
            }
        }
    }

    void cancel() override {
        if (ring_)
            return ring_->cancel();
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (inFlight_)
            libusb_cancel_transfer(inFlight_);
    }

    void rearm() override {
        if (ring_)
            return ring_->rearm();
        std::lock_guard lock(mutex_);
        cancelled_ = false;
    }

  private:
    static void LIBUSB_CALL transferDone(libusb_transfer* transfer) {
        auto* pipe = static_cast<LibusbPipe*>(transfer->user_data);
        std::lock_guard lock(pipe->mutex_);
        pipe->completed_ = 1;
    }

    bool isCompleted() {
        std::lock_guard lock(mutex_);
        return completed_ != 0;
    }

    // One bulk transfer; `timeoutMs` 0 = none. A transfer that runs out of time sets
    // `*timedOut` and reports the bytes it moved.
    IoResult run(uint8_t* data, uint32_t length, unsigned timeoutMs, bool* timedOut) {
        libusb_transfer* transfer = libusb_alloc_transfer(0);
        if (!transfer)
            return {IoStatus::Failed, 0};
        libusb_fill_bulk_transfer(transfer, session_->handle, endpoint_, data,
                                  static_cast<int>(length), transferDone, this, timeoutMs);
        {
            std::lock_guard lock(mutex_);
            if (cancelled_) {
                libusb_free_transfer(transfer);
                return {IoStatus::Cancelled, 0};
            }
            completed_ = 0;
            int r = libusb_submit_transfer(transfer);
            if (r != 0) {
                libusb_free_transfer(transfer);
                return {r == LIBUSB_ERROR_NO_DEVICE ? IoStatus::Gone : IoStatus::Failed, 0};
            }
            inFlight_ = transfer;
        }
        // The transfer always comes back, cancelled or not, before its buffer is free.
        while (!isCompleted()) {
            timeval wait{0, kEventWaitUs};
            if (libusb_handle_events_timeout_completed(session_->context->get(), &wait,
                                                       &completed_) != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        bool cancelled;
        {
            std::lock_guard lock(mutex_);
            inFlight_ = nullptr;
            cancelled = cancelled_;
        }
        libusb_transfer_status status = transfer->status;
        uint32_t moved =
            static_cast<uint32_t>(std::clamp(transfer->actual_length, 0, static_cast<int>(length)));
        libusb_free_transfer(transfer);
        switch (status) {
        case LIBUSB_TRANSFER_COMPLETED:
            return {IoStatus::Ok, moved};
        case LIBUSB_TRANSFER_TIMED_OUT:
            if (timedOut)
                *timedOut = true;
            return {IoStatus::Failed, moved};
        case LIBUSB_TRANSFER_NO_DEVICE:
            return {IoStatus::Gone, 0};
        case LIBUSB_TRANSFER_CANCELLED:
            return {cancelled ? IoStatus::Cancelled : IoStatus::Failed, 0};
        default:
            return {IoStatus::Failed, 0};
        }
    }

    const std::shared_ptr<Session> session_;
    const uint8_t endpoint_;
    std::mutex mutex_;
    bool cancelled_ = false;
    libusb_transfer* inFlight_ = nullptr;
    int completed_ = 0; // also read by libusb while it waits for events
    // Bridge IN pipes only; goes before the session lets go of the device.
    std::unique_ptr<ReadAheadRing> ring_;
};

struct Located {
    std::string path;
    std::vector<uint8_t> order; // bus, ports, address
    libusb_device* device = nullptr;
    uint16_t vendor = 0;
    uint16_t product = 0;
};

// "usb:<bus>-<port path>#vid_xxxx&pid_xxxx"; a device without ports (a root hub) is
// named by its address instead.
Located locate(libusb_device* device) {
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(device, &descriptor);
    uint8_t bus = libusb_get_bus_number(device);
    uint8_t address = libusb_get_device_address(device);
    uint8_t ports[8];
    int portCount = libusb_get_port_numbers(device, ports, sizeof ports);

    Located located;
    located.device = device;
    located.vendor = descriptor.idVendor;
    located.product = descriptor.idProduct;
    located.order.push_back(bus);
    std::string where = "usb:" + std::to_string(bus);
    if (portCount > 0) {
        for (int i = 0; i < portCount; ++i) {
            where += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
            located.order.push_back(ports[i]);
        }
    } else {
        where += "@" + std::to_string(address);
    }
    located.order.push_back(address);
    char ids[32];
    std::snprintf(ids, sizeof ids, "#vid_%04x&pid_%04x", descriptor.idVendor, descriptor.idProduct);
    located.path = where + ids;
    return located;
}

struct Endpoints {
    int interfaceNumber = -1;
    int altSetting = 0;
    uint8_t in = 0;
    uint8_t out = 0;
};

// The first interface setting (of interface `wanted`, unless -1) that has both a bulk
// IN and a bulk OUT endpoint.
Endpoints findBulkPair(libusb_device* device, int wanted) {
    Endpoints found;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0)
        return found;
    for (int i = 0; i < config->bNumInterfaces && found.interfaceNumber < 0; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int a = 0; a < interface.num_altsetting && found.interfaceNumber < 0; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            if (wanted >= 0 && setting.bInterfaceNumber != wanted)
                continue;
            uint8_t in = 0;
            uint8_t out = 0;
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) !=
                    LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) {
                    if (!in)
                        in = endpoint.bEndpointAddress;
                } else if (!out) {
                    out = endpoint.bEndpointAddress;
                }
            }
            if (in && out)
                found = {setting.bInterfaceNumber, setting.bAlternateSetting, in, out};
        }
    }
    libusb_free_config_descriptor(config);
    return found;
}

class LibusbBackend : public DeviceBackend {
  public:
    std::vector<std::string> listPaths() override {
        std::lock_guard lock(mutex_);
        std::vector<std::string> paths;
        forEachDevice([&](const Located& located) {
            if (isListed(located.vendor, located.product))
                paths.push_back(located.path);
            return false;
        });
        return paths;
    }

    std::shared_ptr<InterfaceHandle> openInterface(const std::string& path) override {
        std::lock_guard lock(mutex_);
        auto session = sessionFor(path);
        if (!session)
            return nullptr;
        return std::make_shared<LibusbInterface>(std::move(session));
    }

    std::shared_ptr<PipeChannel> openPipe(const std::string& devicePath, PipeKind kind) override {
        std::lock_guard lock(mutex_);
        auto session = sessionFor(devicePath);
        if (!session)
            return nullptr;
        uint8_t endpoint = kind == PipeKind::Read ? session->inEndpoint : session->outEndpoint;
        return std::make_shared<LibusbPipe>(std::move(session), endpoint);
    }

  private:
    LibusbContext* context() {
        // Tried again at each listing: usbfs may appear later (a container, a module).
        if (!context_)
            context_ = LibusbContext::create();
        return context_.get();
    }

    // Calls `visit` for each device in bus and port order until it returns true.
    template <typename Visit> void forEachDevice(Visit visit) {
        LibusbContext* usb = context();
        if (!usb)
            return;
        libusb_device** list = nullptr;
        ssize_t count = libusb_get_device_list(usb->get(), &list);
        if (count < 0)
            return;
        std::vector<Located> devices;
        for (ssize_t i = 0; i < count; ++i)
            devices.push_back(locate(list[i]));
        std::sort(devices.begin(), devices.end(),
                  [](const Located& a, const Located& b) { return a.order < b.order; });
        for (const Located& located : devices)
            if (visit(located))
                break;
        libusb_free_device_list(list, 1);
    }

    // An open session of the device at `path`: the one already open (the interface and
    // stays claimed while any handle on it lives), or a new one.
    std::shared_ptr<Session> sessionFor(const std::string& path) {
        std::shared_ptr<Session> result;
        forEachDevice([&](const Located& located) {
            if (located.path != path)
                return false;
            uint8_t bus = libusb_get_bus_number(located.device);
            uint8_t address = libusb_get_device_address(located.device);
            auto cached = sessions_[path].lock();
            if (cached && cached->bus == bus && cached->address == address)
                result = std::move(cached);
            else
                result = openSession(located.device, bus, address,
                                     wantedInterface(located.vendor, located.product),
                                     located.vendor == kCh341aVendor);
            if (result)
                sessions_[path] = result;
            return true;
        });
        return result;
    }

    std::shared_ptr<Session> openSession(libusb_device* device, uint8_t bus, uint8_t address,
                                         int wanted, bool isBridge) {
        Endpoints endpoints = findBulkPair(device, wanted);
        if (endpoints.interfaceNumber < 0)
            return nullptr;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(device, &handle) != 0)
            return nullptr;
        // A kernel driver bound to the interface would keep us from claiming it.
        libusb_set_auto_detach_kernel_driver(handle, 1);
        if (libusb_claim_interface(handle, endpoints.interfaceNumber) != 0) {
            libusb_close(handle);
            return nullptr;
        }
        if (endpoints.altSetting != 0 &&
            libusb_set_interface_alt_setting(handle, endpoints.interfaceNumber,
                                             endpoints.altSetting) != 0) {
            libusb_release_interface(handle, endpoints.interfaceNumber);
            libusb_close(handle);
            return nullptr;
        }
        auto session = std::make_shared<Session>();
        session->context = context_;
        session->handle = handle;
        session->interfaceNumber = endpoints.interfaceNumber;
        session->inEndpoint = endpoints.in;
        session->outEndpoint = endpoints.out;
        session->bus = bus;
        session->address = address;
        session->bridge = isBridge;
        return session;
    }

    std::mutex mutex_;
    std::shared_ptr<LibusbContext> context_;
    std::map<std::string, std::weak_ptr<Session>> sessions_;
};

} // namespace

std::shared_ptr<DeviceBackend> makeLibusbBackend() {
    return std::make_shared<LibusbBackend>();
}

} // namespace usb
