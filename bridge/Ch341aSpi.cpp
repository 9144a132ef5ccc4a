#include "bridge/Ch341aSpi.h"

#include "bridge/PipePump.h"
#include "usb/DeviceBackend.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace bridge {
namespace {

constexpr uint8_t kSpiStream = 0xA8;
constexpr uint8_t kUioStream = 0xAB;
constexpr uint8_t kUioEnd = 0x20;
constexpr uint8_t kUioDirections = 0x40 | 0x3F; // D0-D5 outputs
constexpr uint8_t kSelect = 0x80 | 0x36;        // D0 (chip select) low, SCK/MOSI idle
constexpr uint8_t kDeselect = 0x80 | 0x37;
constexpr uint8_t kMaxWaitUs = 0x3F;
constexpr uint32_t kSpiBytesPerPacket = Ch341aSpi::kPacketSize - 1;

// Cuts a batch into OUT transfers of whole 32-byte packets. A packet shorter than 32
// bytes ends a USB transfer, so an SPI packet with fewer than 31 bytes (the end of a
// transaction) is always the last of its transfer; UIO packets are padded after their
// end marker.
class PacketStream {
  public:
    explicit PacketStream(std::span<SpiTransaction> batch) : batch_(batch) {}

    // The next transfer and the answer bytes expected once it is through; false when
    // the batch has all been sent.
    bool next(std::vector<uint8_t>* transfer, uint64_t* answersAfter) {
        transfer->clear();
        while (transfer->size() + Ch341aSpi::kPacketSize <= Ch341aSpi::kTransferBytes) {
            if (index_ == batch_.size()) {
                if (selected_)
                    addUio(transfer, {kDeselect});
                selected_ = false;
                break;
            }
            const SpiTransaction& t = batch_[index_];
            const uint64_t clocked = t.out.size() + uint64_t{t.inLength};
            if (!started_) {
                std::vector<uint8_t> ops;
                if (selected_)
                    ops.push_back(kDeselect);
                selected_ = false;
                // At most 29 operations fit in a packet with its command and end marker.
                while (delayLeft_ > 0 && ops.size() < 29) {
                    const uint32_t wait = std::min<uint32_t>(delayLeft_, kMaxWaitUs);
                    ops.push_back(static_cast<uint8_t>(0xC0 | wait));
                    delayLeft_ -= wait;
                }
                if (delayLeft_ == 0 && ops.size() < 29) {
                    ops.push_back(kSelect);
                    selected_ = true;
                    started_ = true;
                }
                addUio(transfer, ops);
                continue;
            }
            if (done_ == clocked) {
                nextTransaction();
                continue;
            }
            const auto count =
                static_cast<uint32_t>(std::min<uint64_t>(kSpiBytesPerPacket, clocked - done_));
            transfer->push_back(kSpiStream);
            for (uint32_t i = 0; i < count; ++i, ++done_)
                transfer->push_back(done_ < t.out.size() ? reverseBits(t.out[done_]) : 0x00);
            answers_ += count;
            if (count < kSpiBytesPerPacket)
                break;
        }
        *answersAfter = answers_;
        return !transfer->empty();
    }

  private:
    void nextTransaction() {
        ++index_;
        started_ = false;
        done_ = 0;
        delayLeft_ = index_ < batch_.size() ? batch_[index_].delayUsBefore : 0;
    }

    static void addUio(std::vector<uint8_t>* transfer, const std::vector<uint8_t>& ops) {
        const size_t start = transfer->size();
        transfer->push_back(kUioStream);
        transfer->insert(transfer->end(), ops.begin(), ops.end());
        transfer->push_back(kUioEnd);
        transfer->resize(start + Ch341aSpi::kPacketSize, 0x00);
    }

    std::span<SpiTransaction> batch_;
    size_t index_ = 0;
    bool started_ = false;
    bool selected_ = false;
    uint64_t done_ = 0;
    uint64_t answers_ = 0;
    uint32_t delayLeft_ = batch_.empty() ? 0 : batch_[0].delayUsBefore;
};

// Puts answer bytes where they belong: the bytes clocked while a transaction's `out`
// went are dropped, the rest fill its `in`.
class AnswerSink {
  public:
    explicit AnswerSink(std::span<SpiTransaction> batch) : batch_(batch) { skipEmpty(); }

    void take(const uint8_t* bytes, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            SpiTransaction& t = batch_[index_];
            if (offset_ >= t.out.size())
                t.in[offset_ - t.out.size()] = reverseBits(bytes[i]);
            if (++offset_ == t.out.size() + t.inLength) {
                ++index_;
                offset_ = 0;
                skipEmpty();
            }
        }
    }

  private:
    void skipEmpty() {
        while (index_ < batch_.size() && batch_[index_].out.empty() && batch_[index_].inLength == 0)
            ++index_;
    }

    std::span<SpiTransaction> batch_;
    size_t index_ = 0;
    uint64_t offset_ = 0;
};

} // namespace

uint8_t reverseBits(uint8_t value) {
    value = static_cast<uint8_t>((value & 0xF0) >> 4 | (value & 0x0F) << 4);
    value = static_cast<uint8_t>((value & 0xCC) >> 2 | (value & 0x33) << 2);
    return static_cast<uint8_t>((value & 0xAA) >> 1 | (value & 0x55) << 1);
}

std::unique_ptr<Ch341aSpi> Ch341aSpi::open(usb::DeviceBackend& backend, const std::string& path) {
    auto interface = backend.openInterface(path);
    if (!interface)
        return nullptr;
    auto out = backend.openPipe(path, usb::PipeKind::Write);
    auto in = backend.openPipe(path, usb::PipeKind::Read);
    if (!out || !in)
        return nullptr;
    auto bus = std::make_unique<Ch341aSpi>(std::move(interface), std::move(out), std::move(in));
    if (bus->sendPins() != BusResult::Ok)
        return nullptr;
    bus->drainStale();
    return bus;
}

void Ch341aSpi::drainStale() {
    // Answers of a batch an earlier bus abandoned may still wait on the bridge; they
    // must not be taken for this bus's answers.
    using Clock = std::chrono::steady_clock;
    std::atomic<Clock::rep> lastData{Clock::now().time_since_epoch().count()};
    std::thread reader([&] {
        std::vector<uint8_t> buffer(kTransferBytes);
        while (in_->read(buffer.data(), kTransferBytes).status == usb::IoStatus::Ok)
            lastData = Clock::now().time_since_epoch().count();
    });
    const auto quiet =
        std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(kDrainQuietMs))
            .count();
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::milliseconds(kDrainLimitMs) &&
           Clock::now().time_since_epoch().count() - lastData.load() < quiet)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    in_->cancel();
    reader.join();
    in_->rearm();
}

Ch341aSpi::Ch341aSpi(std::shared_ptr<usb::InterfaceHandle> interface,
                     std::shared_ptr<usb::PipeChannel> out, std::shared_ptr<usb::PipeChannel> in)
    : interface_(std::move(interface)), out_(std::move(out)), in_(std::move(in)) {}

Ch341aSpi::~Ch341aSpi() = default;

std::vector<uint8_t> Ch341aSpi::version() {
    constexpr uint8_t kVersionRequest = 0x5F;
    return interface_->vendorRead(kVersionRequest, 2).value_or(std::vector<uint8_t>{});
}

BusResult Ch341aSpi::sendPins() {
    uint8_t packet[kPacketSize] = {kUioStream, kDeselect, kUioDirections, kUioEnd};
    const usb::IoResult r = out_->write(packet, 4, {});
    return r.status == usb::IoStatus::Ok && r.bytes == 4 ? BusResult::Ok : fromIo(r.status);
}

BusResult Ch341aSpi::run(std::span<SpiTransaction> batch, std::stop_token stop,
                         const std::function<void(uint64_t)>& progress) {
    if (failure_ != BusResult::Ok)
        return failure_;
    uint64_t expected = 0;
    for (SpiTransaction& t : batch) {
        t.in.assign(t.inLength, 0);
        expected += t.out.size() + t.inLength;
    }
    PacketStream stream(batch);
    AnswerSink sink(batch);
    return pump(
        expected, [&](std::vector<uint8_t>* t, uint64_t* after) { return stream.next(t, after); },
        [&](const uint8_t* bytes, uint32_t count) { sink.take(bytes, count); }, stop, progress);
}

BusResult Ch341aSpi::exchange(std::span<const RawPacket> packets, std::vector<uint8_t>* answers,
                              std::stop_token stop) {
    answers->clear();
    if (failure_ != BusResult::Ok)
        return failure_;
    const BusResult result =
        pumpPackets(*out_, *in_, {kWindowBytes, kIdleLimitMs, kTransferBytes, kTransferBytes},
                    kPacketSize, kPacketSize, packets, answers, stop);
    if (result != BusResult::Ok)
        failure_ = result;
    return result;
}

BusResult Ch341aSpi::pump(uint64_t expected, const NextTransfer& next, const TakeAnswers& take,
                          std::stop_token stop, const std::function<void(uint64_t)>& progress) {
    const BusResult result = pumpPipes(*out_, *in_, {kWindowBytes, kIdleLimitMs, kTransferBytes},
                                       expected, next, take, stop, progress);
    if (result != BusResult::Ok)
        failure_ = result;
    return result;
}

} // namespace bridge
