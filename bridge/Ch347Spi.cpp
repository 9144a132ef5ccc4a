#include "bridge/Ch347Spi.h"

#include "bridge/PipePump.h"
#include "usb/DeviceBackend.h"
#include "usb/DeviceKinds.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace bridge {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kAssert = 0x80;
constexpr uint8_t kRelease = 0xC0;

enum class Answer { None, Ack, Data };

// One OUT frame and what the bridge answers to it. `clockedAfter` counts the SPI bytes
// clocked once this frame's answer is in, from the start of the batch.
struct Step {
    std::vector<uint8_t> frame;
    Answer answer = Answer::None;
    uint32_t count = 0;             // bytes clocked by this frame
    SpiTransaction* dest = nullptr; // Data: where the bytes go (null: dropped)
    uint32_t destOffset = 0;
    uint64_t clockedAfter = 0;
};

std::vector<uint8_t> frame(uint8_t command, uint32_t length) {
    std::vector<uint8_t> bytes{command, static_cast<uint8_t>(length),
                               static_cast<uint8_t>(length >> 8)};
    bytes.resize(3 + length, 0x00);
    return bytes;
}

std::vector<uint8_t> chipSelectFrame(bool select) {
    std::vector<uint8_t> bytes = frame(Ch347Spi::kChipSelect, Ch347Spi::kChipSelectLength);
    bytes[3] = select ? kAssert : kRelease; // CS0; CS1 (byte 5 of the payload) untouched
    return bytes;
}

std::vector<uint8_t> readFrame(uint32_t count) {
    std::vector<uint8_t> bytes = frame(Ch347Spi::kRead, 4);
    for (int i = 0; i < 4; ++i)
        bytes[3 + i] = static_cast<uint8_t>(count >> (8 * i));
    return bytes;
}

class StepPlan {
  public:
    StepPlan(std::span<SpiTransaction> batch, uint32_t clockHz) {
        for (SpiTransaction& t : batch) {
            // Chip select is released here: bytes clocked now reach no chip.
            const uint64_t waitBytes =
                (uint64_t{t.delayUsBefore} * clockHz + 7'999'999) / 8'000'000;
            for (uint64_t done = 0; done < waitBytes;) {
                const auto n = static_cast<uint32_t>(
                    std::min<uint64_t>(Ch347Spi::kReadChunk, waitBytes - done));
                add(readFrame(n), Answer::Data, n, nullptr, 0);
                done += n;
            }
            add(chipSelectFrame(true), Answer::None, 0, nullptr, 0);
            for (size_t at = 0; at < t.out.size();) {
                const auto n = static_cast<uint32_t>(
                    std::min<size_t>(Ch347Spi::kFrameData, t.out.size() - at));
                std::vector<uint8_t> bytes = frame(Ch347Spi::kWrite, n);
                std::copy_n(t.out.begin() + static_cast<ptrdiff_t>(at), n, bytes.begin() + 3);
                add(std::move(bytes), Answer::Ack, n, nullptr, 0);
                at += n;
            }
            for (uint32_t at = 0; at < t.inLength;) {
                const uint32_t n = std::min(Ch347Spi::kReadChunk, t.inLength - at);
                add(readFrame(n), Answer::Data, n, &t, at);
                at += n;
            }
            add(chipSelectFrame(false), Answer::None, 0, nullptr, 0);
        }
    }
    std::vector<Step>& steps() { return steps_; }
    uint64_t clocked() const { return clocked_; }

  private:
    void add(std::vector<uint8_t> bytes, Answer answer, uint32_t count, SpiTransaction* dest,
             uint32_t offset) {
        clocked_ += count;
        steps_.push_back({std::move(bytes), answer, count, dest, offset, clocked_});
    }

    std::vector<Step> steps_;
    uint64_t clocked_ = 0;
};

// Takes the IN byte stream apart into frames and checks each against the step that
// waits for it. Frames may arrive split or joined across transfers.
class AnswerReader {
  public:
    explicit AnswerReader(std::vector<Step>& steps) {
        for (Step& step : steps)
            if (step.answer != Answer::None)
                waiting_.push_back(&step);
    }

    bool finished() const { return index_ == waiting_.size(); }
    uint64_t clocked() const { return clocked_; }

    // false when the bytes are not the answers expected.
    bool take(const uint8_t* bytes, uint32_t count) {
        pending_.insert(pending_.end(), bytes, bytes + count);
        size_t head = 0;
        while (pending_.size() - head >= 3) {
            const uint8_t* f = pending_.data() + head;
            const uint32_t length = f[1] | uint32_t{f[2]} << 8;
            if (length > Ch347Spi::kFrameData || finished())
                return false;
            if (pending_.size() - head < 3 + length)
                break;
            Step& step = *waiting_[index_];
            if (step.answer == Answer::Ack) {
                if (f[0] != Ch347Spi::kWrite)
                    return false;
                done_ = step.count;
            } else {
                if (f[0] != Ch347Spi::kRead || length == 0 || length > step.count - done_)
                    return false;
                if (step.dest != nullptr)
                    std::copy_n(f + 3, length, step.dest->in.begin() + step.destOffset + done_);
                done_ += length;
            }
            clocked_ = step.clockedAfter - (step.count - done_);
            if (done_ == step.count) {
                ++index_;
                done_ = 0;
            }
            head += 3 + length;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(head));
        return true;
    }

  private:
    std::vector<Step*> waiting_;
    size_t index_ = 0;
    uint32_t done_ = 0;
    uint64_t clocked_ = 0;
    std::vector<uint8_t> pending_;
};

} // namespace

std::optional<uint32_t> ch347Clock(uint64_t requestedHz) {
    for (int shift = 0; shift <= Ch347Spi::kSlowestShift; ++shift)
        if ((Ch347Spi::kBaseClockHz >> shift) <= requestedHz)
            return Ch347Spi::kBaseClockHz >> shift;
    return std::nullopt;
}

int ch347ClockShift(uint32_t clockHz) {
    int shift = 0;
    while (shift < Ch347Spi::kSlowestShift && (Ch347Spi::kBaseClockHz >> shift) > clockHz)
        ++shift;
    return shift;
}

std::vector<uint8_t> ch347ConfigureFrame(uint32_t clockHz) {
    std::vector<uint8_t> bytes = frame(Ch347Spi::kConfigure, Ch347Spi::kConfigureLength);
    uint8_t* payload = bytes.data() + 3;
    // Bytes 2, 3, 11 and 16 hold the values the vendor's driver always sends; clock
    // polarity (6), phase (8), bit order (14) and chip select polarity (21) stay 0:
    // mode 0, MSB first, active low.
    payload[2] = 4;
    payload[3] = 1;
    payload[11] = 2;
    payload[12] = static_cast<uint8_t>(ch347ClockShift(clockHz) << 3);
    payload[16] = 7;
    return bytes;
}

std::unique_ptr<Ch347Spi> Ch347Spi::open(usb::DeviceBackend& backend, const std::string& path,
                                         uint32_t clockHz) {
    if (!ch347Clock(clockHz))
        return nullptr;
    auto interface = backend.openInterface(path);
    if (!interface)
        return nullptr;
    auto out = backend.openPipe(path, usb::PipeKind::Write);
    auto in = backend.openPipe(path, usb::PipeKind::Read);
    if (!out || !in)
        return nullptr;
    auto bus = std::make_unique<Ch347Spi>(std::move(interface), std::move(out), std::move(in));
    bus->variantF_ = usb::deviceLabelOf(path).starts_with("CH347F");
    bus->drainStale();
    if (bus->configure(*ch347Clock(clockHz)) != BusResult::Ok)
        return nullptr;
    // A bus abandoned mid-transaction left the chip selected; the chip must see the end of
    // that command before this bus's first one.
    const std::vector<uint8_t> release = chipSelectFrame(false);
    const usb::IoResult r =
        bus->out_->write(release.data(), static_cast<uint32_t>(release.size()), {});
    if (r.status != usb::IoStatus::Ok || r.bytes != release.size())
        return nullptr;
    return bus;
}

Ch347Spi::Ch347Spi(std::shared_ptr<usb::InterfaceHandle> interface,
                   std::shared_ptr<usb::PipeChannel> out, std::shared_ptr<usb::PipeChannel> in)
    : interface_(std::move(interface)), out_(std::move(out)), in_(std::move(in)) {}

Ch347Spi::~Ch347Spi() = default;

void Ch347Spi::drainStale() {
    // Answers of a batch an earlier bus abandoned may still wait on the bridge; they
    // must not be taken for this bus's answers.
    std::atomic<Clock::rep> lastData{Clock::now().time_since_epoch().count()};
    std::thread reader([&] {
        std::vector<uint8_t> buffer(4096);
        while (in_->read(buffer.data(), 4096).status == usb::IoStatus::Ok)
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

BusResult Ch347Spi::configure(uint32_t clockHz) {
    std::vector<uint8_t> answer;
    const BusResult result = request(ch347ConfigureFrame(clockHz), &answer);
    if (result == BusResult::Ok)
        clockHz_ = clockHz;
    return result;
}

BusResult Ch347Spi::request(const std::vector<uint8_t>& command, std::vector<uint8_t>* answer) {
    const usb::IoResult sent =
        out_->write(command.data(), static_cast<uint32_t>(command.size()), {});
    if (sent.status != usb::IoStatus::Ok || sent.bytes != command.size())
        return sent.status == usb::IoStatus::Ok ? BusResult::Failed : fromIo(sent.status);

    // The answer: one frame of the same command, within the idle limit.
    std::mutex mutex;
    std::condition_variable changed;
    bool over = false;
    BusResult result = BusResult::Failed;
    std::thread reader([&] {
        std::vector<uint8_t> got;
        std::vector<uint8_t> buffer(4096);
        BusResult outcome = BusResult::Failed;
        for (;;) {
            const usb::IoResult r = in_->read(buffer.data(), 4096);
            if (r.status != usb::IoStatus::Ok) {
                outcome = fromIo(r.status);
                break;
            }
            got.insert(got.end(), buffer.begin(), buffer.begin() + r.bytes);
            if (got.size() < 3)
                continue;
            const uint32_t length = got[1] | uint32_t{got[2]} << 8;
            if (got[0] != command[0] || length > kFrameData || got.size() > 3 + length)
                break;
            if (got.size() == 3 + length) {
                answer->assign(got.begin() + 3, got.end());
                outcome = BusResult::Ok;
                break;
            }
        }
        std::lock_guard lock(mutex);
        result = outcome;
        over = true;
        changed.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, std::chrono::milliseconds(kIdleLimitMs), [&] { return over; }))
            in_->cancel();
    }
    reader.join();
    in_->rearm();
    if (result == BusResult::Cancelled)
        result = BusResult::Failed; // no answer in time
    return result;
}

BusResult Ch347Spi::enableI2c() {
    if (!variantF_)
        return BusResult::Ok;
    // The CH347F shares its I2C pins with other functions: payload bytes 2 and 3 = 81
    // switch them to I2C; the answer's first payload byte is 0 when it took the switch.
    std::vector<uint8_t> command = frame(kFunctionSwitch, 8);
    command[3 + 2] = 0x81;
    command[3 + 3] = 0x81;
    std::vector<uint8_t> answer;
    const BusResult result = request(command, &answer);
    if (result != BusResult::Ok)
        return result;
    return !answer.empty() && answer[0] == 0x00 ? BusResult::Ok : BusResult::Failed;
}

BusResult Ch347Spi::exchangeStream(std::span<const StreamPacket> packets,
                                   std::vector<uint8_t>* answers, std::stop_token stop) {
    answers->clear();
    if (failure_ != BusResult::Ok)
        return failure_;
    // Answers stay below a whole packet, so each packet's answers end their IN transfer.
    const BusResult result = pumpPackets(
        *out_, *in_, {kWindowBytes, kIdleLimitMs, kStreamTransferBytes, kStreamTransferBytes},
        kPacketSize, kPacketSize - 1, packets, answers, stop);
    if (result != BusResult::Ok)
        failure_ = result;
    return result;
}

BusResult Ch347Spi::run(std::span<SpiTransaction> batch, std::stop_token stop,
                        const std::function<void(uint64_t)>& progress) {
    if (failure_ != BusResult::Ok)
        return failure_;
    for (SpiTransaction& t : batch)
        t.in.assign(t.inLength, 0);
    StepPlan plan(batch, clockHz_);
    std::vector<Step>& steps = plan.steps();

    std::mutex mutex;
    std::condition_variable changed;
    uint64_t received = 0; // clocked bytes answered so far, under `mutex`
    bool written = false;
    bool answered = false;
    BusResult failure = BusResult::Ok;
    auto lastProgress = Clock::now();
    const auto fail = [&](BusResult result) {
        std::lock_guard lock(mutex);
        if (failure == BusResult::Ok)
            failure = result;
        changed.notify_all();
    };

    std::thread writer([&] {
        for (const Step& step : steps) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return failure != BusResult::Ok || step.clockedAfter <= received + kWindowBytes;
                });
                if (failure != BusResult::Ok)
                    return;
            }
            const auto size = static_cast<uint32_t>(step.frame.size());
            const usb::IoResult r = out_->write(step.frame.data(), size, {});
            if (r.status != usb::IoStatus::Ok || r.bytes != size)
                return fail(r.status == usb::IoStatus::Ok ? BusResult::Failed : fromIo(r.status));
            std::lock_guard lock(mutex);
            lastProgress = Clock::now();
        }
        std::lock_guard lock(mutex);
        written = true;
        changed.notify_all();
    });
    std::thread reader([&] {
        AnswerReader answers(steps);
        std::vector<uint8_t> buffer(4096);
        while (!answers.finished()) {
            const usb::IoResult r = in_->read(buffer.data(), 4096);
            if (r.status != usb::IoStatus::Ok)
                return fail(fromIo(r.status));
            if (!answers.take(buffer.data(), r.bytes))
                return fail(BusResult::Failed); // not the answer to what was asked
            std::lock_guard lock(mutex);
            received = answers.clocked();
            lastProgress = Clock::now();
            changed.notify_all();
        }
        std::lock_guard lock(mutex);
        answered = true;
        changed.notify_all();
    });

    BusResult result = BusResult::Ok;
    {
        std::unique_lock lock(mutex);
        for (;;) {
            if (failure != BusResult::Ok) {
                result = failure;
                break;
            }
            if (written && answered)
                break;
            if (stop.stop_requested()) {
                result = BusResult::Cancelled;
                break;
            }
            if (Clock::now() - lastProgress > std::chrono::milliseconds(kIdleLimitMs)) {
                result = BusResult::Failed;
                break;
            }
            changed.wait_for(lock, std::chrono::milliseconds(20));
            if (progress) {
                const uint64_t now = received;
                lock.unlock();
                progress(now);
                lock.lock();
            }
        }
        if (result != BusResult::Ok && failure == BusResult::Ok)
            failure = result;
        changed.notify_all();
    }
    if (result != BusResult::Ok) {
        out_->cancel();
        in_->cancel();
    }
    writer.join();
    reader.join();
    if (result != BusResult::Ok) {
        out_->rearm();
        in_->rearm();
        failure_ = result;
    }
    return result;
}

} // namespace bridge
