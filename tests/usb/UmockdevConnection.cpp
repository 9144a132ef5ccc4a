// The link contract over libusb against the programmer emulated in a umockdev testbed.
#include "bridge/Ch341aSpi.h"
#include "bridge/Ch347I2c.h"
#include "bridge/Ch347Spi.h"
#include "bridge/I2cEeprom.h"
#include "bridge/SpiNorFlash.h"
#include "sim/Ch341aDevice.h"
#include "sim/Ch347Device.h"
#include "sim/I2cEepromChip.h"
#include "sim/SpiChipCatalogue.h"
#include "tests/usb/Connection.h"
#include "usb/Backends.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <mutex>
#include <thread>

// The umockdev preload comes before the sanitizer runtime in the library list; its GLib
// hand-offs to its worker thread use futex locks ThreadSanitizer does not see.
extern "C" const char* __asan_default_options() {
    return "verify_asan_link_order=0";
}

extern "C" const char* __tsan_default_suppressions() {
    return "race:g_strdup\n"
           "race:g_rec_mutex_clear\n";
}

namespace usbtest {

namespace {

constexpr const char* kDevicePath = "usb:1-1#vid_10c4&pid_505d";
constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";
constexpr const char* kBridgePath = "usb:1-2#vid_1a86&pid_5512";

// Root hub: device, configuration, hub interface, interrupt endpoint.
constexpr const char* kHub = "P: /devices/usb1\nN: bus/usb/001/001\nE: SUBSYSTEM=usb\n"
                             "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=001\n"
                             "E: DEVNAME=/dev/bus/usb/001/001\nA: busnum=1\\n\nA: devnum=1\\n\n"
                             "A: bConfigurationValue=1\\n\nA: speed=480\\n\nA: idVendor=1d6b\\n\n"
                             "A: idProduct=0002\\n\n"
                             "H: descriptors=12010002090001406b1d02000506030201010902190001"
                             "0100e0000904000001090000000705810304000c\n";

// The programmer: full speed, vendor-specific interface 0, bulk OUT 0x01 and IN 0x81.
constexpr const char* kProgrammer =
    "P: /devices/usb1/1-1\nN: bus/usb/001/002\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
    "E: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=002\nE: DEVNAME=/dev/bus/usb/001/002\n"
    "A: busnum=1\\n\nA: devnum=2\\n\nA: bConfigurationValue=1\\n\nA: speed=12\\n\n"
    "A: idVendor=10c4\\n\nA: idProduct=505d\\n\n"
    "H: descriptors=1201000200000040c4105d500001010200010902200001010080320904000002ff000000"
    "0705010240000007058102400000\n";

// A CH341A: full speed, interface 0 FF/01/02, bulk IN 0x82 and OUT 0x02 (32 bytes),
// interrupt IN 0x81.
constexpr const char* kBridge =
    "P: /devices/usb1/1-2\nN: bus/usb/001/003\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
    "E: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=003\nE: DEVNAME=/dev/bus/usb/001/003\n"
    "A: busnum=1\\n\nA: devnum=3\\n\nA: bConfigurationValue=1\\n\nA: speed=12\\n\n"
    "A: idVendor=1a86\\n\nA: idProduct=5512\\n\n"
    "H: descriptors=12011001ff000208861a1255040300000001090227000101008032090400000"
    "3ff010200070582022000000705020220000007058103080001\n";

// A CH347T: high speed, a CDC UART on interfaces 0 and 1 (its own bulk pair 0x02/0x82
// comes first), SPI on interface 2 with bulk OUT 0x06 and IN 0x86 (512 bytes).
constexpr const char* kCh347Path = "usb:1-3#vid_1a86&pid_55db";
constexpr const char* kCh347 =
    "P: /devices/usb1/1-3\nN: bus/usb/001/004\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
    "E: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=004\nE: DEVNAME=/dev/bus/usb/001/004\n"
    "A: busnum=1\\n\nA: devnum=4\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\n"
    "A: idVendor=1a86\\n\nA: idProduct=55db\\n\n"
    "H: descriptors=12010002ef02014086"
    "1adb554104000000010902470003010080320904000001020201000705830308000109"
    "04010002"
    "0a0000000705020200020007058202000200090402000"
    "2ff0000000705060200020007058602000200\n";

usbdevfs_urb* rawOf(UMockdevIoctlData* data) {
    return reinterpret_cast<usbdevfs_urb*>(data->data);
}

} // namespace

class UmockdevProgrammer {
  public:
    // A device on `testbed` (null: a new one, with the root hub) at `node`, with bulk
    // endpoints `endpoint` and 0x80 | `endpoint`.
    UmockdevProgrammer(UMockdevTestbed* testbed = nullptr, const char* node = kDeviceNode,
                       const char* device = kProgrammer, uint8_t endpoint = 1)
        : testbed_(testbed ? testbed : umockdev_testbed_new()), handler_(umockdev_ioctl_base_new()),
          endpoint_(endpoint), ownsTestbed_(!testbed) {
        g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(handleIoctl), this);
        // The handler must be in place before the device appears and libusb may open it.
        umockdev_testbed_attach_ioctl(testbed_, node, handler_, nullptr);
        if (ownsTestbed_)
            umockdev_testbed_add_from_string(testbed_, kHub, nullptr);
        umockdev_testbed_add_from_string(testbed_, device, nullptr);
    }
    UMockdevTestbed* testbed() { return testbed_; }
    ~UmockdevProgrammer() {
        if (ownsTestbed_)
            g_object_unref(testbed_);
        g_object_unref(handler_);
        for (auto* list : {&flying_, &discarded_})
            for (Urb& urb : *list)
                g_object_unref(urb.data);
        for (Control& control : controls_)
            g_object_unref(control.data);
    }
    // IN transfers the host has queued and the device has not answered yet.
    size_t waitingReads() {
        std::lock_guard lock(mutex_);
        return std::count_if(flying_.begin(), flying_.end(), [](const Urb& urb) { return urb.in; });
    }
    // Who answers from now on (null: nobody, transfers wait).
    void attach(sim::UsbDeviceModel* firmware) {
        std::lock_guard lock(mutex_);
        firmware_ = firmware;
    }

  private:
    struct Urb {
        UMockdevIoctlData* data = nullptr; // holds a reference
        bool in = false;
        uint32_t length = 0;
        uint32_t taken = 0; // OUT bytes the firmware took so far
    };
    static int handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
        auto& me = *static_cast<UmockdevProgrammer*>(self);
        std::lock_guard lock(me.mutex_);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        switch (umockdev_ioctl_client_get_request(client)) {
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESETEP:
        case USBDEVFS_DISCONNECT_CLAIM: // no kernel driver to disconnect
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        case USBDEVFS_SUBMITURB:
            return me.submit(client,
                             umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr));
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            return me.reap(client);
        case USBDEVFS_DISCARDURB: {
            const gulong address = *reinterpret_cast<gulong*>(arg->data);
            auto it = std::find_if(me.flying_.begin(), me.flying_.end(), [&](const Urb& urb) {
                return urb.data->client_addr == address;
            });
            const bool found = it != me.flying_.end();
            if (found) {
                me.discarded_.push_back(*it);
                me.flying_.erase(it);
            }
            umockdev_ioctl_client_complete(client, found ? 0 : -1, found ? 0 : EINVAL);
            return true;
        }
        default:
            return false;
        }
    }
    bool submit(UMockdevIoctlClient* client, UMockdevIoctlData* data) {
        usbdevfs_urb* urb = rawOf(data);
        if (urb->type == USBDEVFS_URB_TYPE_CONTROL && urb->buffer_length >= 8) {
            // Answered at once: a vendor IN request the device knows, else a stall.
            g_object_unref(umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                       urb->buffer_length, nullptr));
            auto* setup = static_cast<uint8_t*>(urb->buffer);
            const auto answer =
                firmware_ && setup[0] == 0xC0
                    ? firmware_->vendorRead(setup[1], uint16_t(setup[6] | setup[7] << 8))
                    : std::nullopt;
            const size_t n = answer ? std::min<size_t>(answer->size(), urb->buffer_length - 8) : 0;
            if (answer)
                std::copy_n(answer->begin(), n, setup + 8);
            controls_.push_back({data, answer ? 0 : -EPIPE, static_cast<uint32_t>(n)});
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        if (urb->type != USBDEVFS_URB_TYPE_BULK || (urb->endpoint & 0x7F) != endpoint_ ||
            urb->buffer_length < 0) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            g_object_unref(data);
            return true;
        }
        // The buffer becomes a local copy that goes back to the host with the URB.
        if (urb->buffer_length > 0)
            g_object_unref(umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                       urb->buffer_length, nullptr));
        flying_.push_back(
            {data, (urb->endpoint & 0x80) != 0, static_cast<uint32_t>(urb->buffer_length)});
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    bool reap(UMockdevIoctlClient* client) {
        if (!controls_.empty()) {
            const Control done = controls_.front();
            controls_.pop_front();
            return giveBack(client, {done.data, true, done.length + 8}, done.status, done.length);
        }
        if (!discarded_.empty()) {
            const Urb urb = discarded_.front();
            discarded_.pop_front();
            return giveBack(client, urb, -ENOENT, urb.taken);
        }
        for (auto it = flying_.begin(); it != flying_.end(); ++it) {
            if (!firmware_)
                continue;
            auto* bytes = static_cast<uint8_t*>(rawOf(it->data)->buffer);
            const sim::TransferResult answer =
                it->in ? firmware_->hostIn(bytes, it->length)
                       : firmware_->hostOut(bytes + it->taken, it->length - it->taken);
            const bool done = answer.status == sim::TransferStatus::Done;
            if (done && !it->in && it->taken + answer.length < it->length)
                it->taken += answer.length; // a slow device has taken part of it
            else if (answer.status != sim::TransferStatus::NotYet) {
                const Urb urb = *it;
                flying_.erase(it);
                const int failed =
                    answer.status == sim::TransferStatus::Gone ? -ENODEV : -EPIPE; // EPIPE: stalled
                return giveBack(client, urb, done ? 0 : failed,
                                done ? (urb.in ? answer.length : urb.length) : 0);
            }
        }
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return true;
    }
    // Hands a finished URB back through the reap call's pointer argument.
    bool giveBack(UMockdevIoctlClient* client, Urb urb, int status, uint32_t actual) {
        rawOf(urb.data)->status = status;
        rawOf(urb.data)->actual_length = static_cast<int>(std::min(actual, urb.length));
        UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(
            umockdev_ioctl_client_get_arg(client), 0, sizeof(gpointer), nullptr);
        umockdev_ioctl_data_set_ptr(pointer, 0, urb.data);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(pointer);
        g_object_unref(urb.data);
        return true;
    }
    UMockdevTestbed* testbed_;
    UMockdevIoctlBase* handler_;
    const uint8_t endpoint_;
    const bool ownsTestbed_;
    std::mutex mutex_;
    sim::UsbDeviceModel* firmware_ = nullptr;
    std::deque<Urb> flying_, discarded_;
    struct Control {
        UMockdevIoctlData* data; // holds a reference
        int status;
        uint32_t length;
    };
    std::deque<Control> controls_;
};

namespace {

UmockdevProgrammer* programmer = nullptr;
UmockdevProgrammer* ch341a = nullptr;
UmockdevProgrammer* ch347 = nullptr;
std::shared_ptr<usb::DeviceBackend> libusb; // one libusb context for the whole program

class UmockdevConnection : public Connection {
  public:
    explicit UmockdevConnection(sim::ProgrammerFirmware& firmware) {
        programmer->attach(&firmware);
        ++open_;
        EXPECT_EQ(link_.open(), 1);
    }
    // The device answers until the last link on it is gone.
    ~UmockdevConnection() override {
        if (--open_ == 0)
            programmer->attach(nullptr);
    }
    UsbLink& link() override { return link_; }

  private:
    static inline int open_ = 0;
    UsbLink link_{{libusb}};
};

TEST(LibusbDiscovery, ListsOnlyTheProgrammerAndOpensItByItsPath) {
    // The root hub is on the bus too, but is never a candidate; the link skips the bridge.
    EXPECT_EQ(libusb->listPaths(),
              (std::vector<std::string>{kDevicePath, kBridgePath, kCh347Path}));
    EXPECT_FALSE(libusb->openInterface("usb:9-9#vid_10c4&pid_505d"));
    UsbLink link({libusb});
    EXPECT_EQ(link.listProgrammers(), std::vector<std::string>{kDevicePath});
    EXPECT_EQ(link.openPath(kDevicePath), 1);
    EXPECT_EQ(link.devicePath(), kDevicePath);
    // Reopening while the pipes are held reuses the claimed interface.
    EXPECT_EQ(link.open(), 1);
}

TEST(LibusbDiscovery, Ch341aBridgeRunsTheChipsCommandsThroughLibusb) {
    sim::Ch341aDevice device;
    const auto chip = sim::makeSpiChip("W25Q32", {}, device.clock());
    device.attachChip(chip.get());
    ch341a->attach(&device);
    auto bus = bridge::Ch341aSpi::open(*libusb, kBridgePath);
    ASSERT_TRUE(bus);
    EXPECT_EQ(bus->version(), (std::vector<uint8_t>{0x30, 0x00}));
    bridge::NorIdentity id;
    ASSERT_TRUE(bridge::identifyNor(*bus, &id).ok());
    EXPECT_EQ(id.jedecId, (std::array<uint8_t, 3>{0xEF, 0x40, 0x16}));
    ASSERT_EQ(id.sfdp.state, bridge::SfdpState::Sound);
    bridge::SpiNorFlash flash(*bus, *id.geometry);
    std::vector<uint8_t> data(3000), back(data.size());
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    EXPECT_TRUE(flash.write(0x1F00, data, bridge::WriteMode::Differential).ok());
    EXPECT_TRUE(flash.read(0x1F00, back, 2).ok());
    EXPECT_EQ(back, data);
    bus.reset();
    ch341a->attach(nullptr);
}

TEST(LibusbDiscovery, Ch347SpiInterfaceRunsTheChipsCommandsThroughLibusb) {
    sim::Ch347Device device;
    const auto chip = sim::makeSpiChip("W25Q32", {}, device.clock());
    device.attachChip(chip.get());
    ch347->attach(&device);
    auto bus = bridge::Ch347Spi::open(*libusb, kCh347Path, 30'000'000);
    ASSERT_TRUE(bus);
    EXPECT_EQ(device.clockHz(), 30'000'000u);
    bridge::NorIdentity id;
    ASSERT_TRUE(bridge::identifyNor(*bus, &id).ok());
    EXPECT_EQ(id.jedecId, (std::array<uint8_t, 3>{0xEF, 0x40, 0x16}));
    bridge::SpiNorFlash flash(*bus, *id.geometry);
    const std::vector<uint8_t> data(5000, 0x3C);
    std::vector<uint8_t> back(data.size());
    EXPECT_TRUE(flash.write(0x10F00, data, bridge::WriteMode::Differential).ok());
    EXPECT_TRUE(flash.read(0x10F00, back, 2).ok());
    EXPECT_EQ(back, data);
    // The I2C stream on the same pipes, at the speed set, to a 24C16 across a block boundary.
    sim::I2cEepromChip eeprom(*sim::findI2cEeprom("24C16"), device.clock());
    device.attachI2c(&eeprom);
    bridge::Ch347I2c i2c(*bus);
    ASSERT_EQ(i2c.setClockKHz(400), bridge::BusResult::Ok);
    EXPECT_EQ(device.i2cSpeedKHz(), 400u);
    bridge::I2cEeprom i2cEeprom(i2c, {2048});
    EXPECT_TRUE(i2cEeprom.write(0xF0, std::span(data).first(40)).ok());
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 40, eeprom.memory().begin() + 0xF0));
    // Unplugged with the bus open: Gone, at once.
    device.unplug();
    EXPECT_EQ(flash.read(0, back).outcome, bridge::ChipOutcome::BusGone);
    bus.reset();
    ch347->attach(nullptr);
}

// A bridge that answers each IN transfer with the next answer the test queued.
class QueuedAnswers : public sim::UsbDeviceModel {
  public:
    void queue(std::vector<uint8_t> answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(answer));
    }
    void unplug() { gone_ = true; }
    sim::TransferResult hostOut(const uint8_t*, uint32_t length, sim::Clock::time_point,
                                const StillWanted&) override {
        return {gone_ ? sim::TransferStatus::Gone : sim::TransferStatus::Done, length, {}};
    }
    sim::TransferResult hostIn(uint8_t* dest, uint32_t maxLength, sim::Clock::time_point,
                               const StillWanted&) override {
        std::lock_guard lock(mutex_);
        if (gone_)
            return {sim::TransferStatus::Gone, 0, {}};
        if (answers_.empty())
            return {sim::TransferStatus::NotYet, 0, sim::kNever};
        if (answers_.front().size() > maxLength)
            return {sim::TransferStatus::Refused, 0, {}}; // the packet overflows the transfer
        std::copy(answers_.front().begin(), answers_.front().end(), dest);
        const auto length = static_cast<uint32_t>(answers_.front().size());
        answers_.pop_front();
        return {sim::TransferStatus::Done, length, {}};
    }
    void wakeWaiters() override {}
    bool isGone() const override { return gone_; }

  private:
    std::mutex mutex_;
    std::deque<std::vector<uint8_t>> answers_;
    std::atomic<bool> gone_{false};
};

TEST(LibusbDiscovery, BridgeInPipeReadsAheadInOrderAndACancelledReadReturns) {
    QueuedAnswers device;
    ch341a->attach(&device);
    auto in = libusb->openPipe(kBridgePath, usb::PipeKind::Read);
    ASSERT_TRUE(in);
    // More answers than transfers queued, of several lengths, read in pieces of other
    // lengths: every byte once, in order.
    std::vector<uint8_t> sent, got, buffer(64);
    for (int i = 0; i < 12; ++i) {
        std::vector<uint8_t> answer(i % 3 == 1 ? 32 : 1 + i * 2);
        for (uint8_t& byte : answer)
            byte = static_cast<uint8_t>(sent.size() * 7 + (&byte - answer.data()));
        sent.insert(sent.end(), answer.begin(), answer.end());
        device.queue(std::move(answer));
    }
    for (uint32_t ask = 5; got.size() < sent.size(); ask = ask == 5 ? 64 : 5) {
        const usb::IoResult r = in->read(buffer.data(), ask);
        ASSERT_EQ(r.status, usb::IoStatus::Ok);
        ASSERT_LE(r.bytes, ask);
        got.insert(got.end(), buffer.begin(), buffer.begin() + r.bytes);
    }
    EXPECT_EQ(got, sent);
    EXPECT_GE(ch341a->waitingReads(), 2u); // several transfers wait for the next answers

    // A read waiting for an answer that never comes returns Cancelled, and so does every
    // read until rearm; then the pipe reads the next answer.
    usb::IoResult waited;
    std::thread reader([&] { waited = in->read(buffer.data(), 64); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // into the wait
    in->cancel();
    reader.join();
    EXPECT_EQ(waited.status, usb::IoStatus::Cancelled);
    EXPECT_EQ(in->read(buffer.data(), 64).status, usb::IoStatus::Cancelled);
    in->rearm();
    device.queue({0xA5, 0x5A});
    const usb::IoResult next = in->read(buffer.data(), 64);
    EXPECT_EQ(next.status, usb::IoStatus::Ok);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + next.bytes),
              (std::vector<uint8_t>{0xA5, 0x5A}));
    // Unplugged while transfers wait: Gone.
    device.unplug();
    EXPECT_EQ(in->read(buffer.data(), 64).status, usb::IoStatus::Gone);
    in.reset();
    ch341a->attach(nullptr);
}

} // namespace

std::unique_ptr<Connection> connect(sim::ProgrammerFirmware& firmware) {
    return std::make_unique<UmockdevConnection>(firmware);
}

const bool kZeroLengthReadsReachDevice = false;

} // namespace usbtest

int main(int argc, char** argv) {
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload")) {
        std::fputs("usb_umockdev_tests: run it under umockdev-wrapper (ctest does)\n", stderr);
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    usbtest::programmer = new usbtest::UmockdevProgrammer;
    usbtest::ch341a = new usbtest::UmockdevProgrammer(usbtest::programmer->testbed(),
                                                      "/dev/bus/usb/001/003", usbtest::kBridge, 2);
    usbtest::ch347 = new usbtest::UmockdevProgrammer(usbtest::programmer->testbed(),
                                                     "/dev/bus/usb/001/004", usbtest::kCh347, 6);
    usbtest::libusb = usb::makeLibusbBackend();
    const int result = RUN_ALL_TESTS();
    usbtest::libusb.reset(); // libusb lets go of the device before the testbed goes
    delete usbtest::ch347;
    delete usbtest::ch341a;
    delete usbtest::programmer;
    return result;
}
