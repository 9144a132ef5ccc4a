#include "bridge/Ch341aI2c.h"

#include <algorithm>
#include <array>

namespace bridge {
namespace {

constexpr uint8_t kI2cStream = 0xAA;
constexpr uint8_t kStart = 0x74;
constexpr uint8_t kStop = 0x75;
constexpr uint8_t kOut = 0x80;
constexpr uint8_t kIn = 0xC0;
constexpr uint8_t kWaitUs = 0x40;
constexpr uint8_t kSpeed = 0x60;
constexpr uint8_t kEnd = 0x00;
constexpr uint32_t kMaxWaitUs = 15;
constexpr uint32_t kPacket = Ch341aSpi::kPacketSize;

// Fills packets step by step; a step that does not fit the packet's room (the stream
// command first, the end marker last) or its 32 answer bytes starts a new one.
class PacketBuilder {
  public:
    // Room left for command bytes in the current packet.
    uint32_t room() {
        open();
        return kPacket - 1 - static_cast<uint32_t>(packets_.back().bytes.size());
    }
    uint32_t answerRoom() {
        open();
        return kPacket - packets_.back().answers;
    }
    void add(std::initializer_list<uint8_t> bytes, uint32_t answers = 0) {
        if (room() < bytes.size() || answerRoom() < answers)
            flush();
        open();
        auto& p = packets_.back();
        p.bytes.insert(p.bytes.end(), bytes);
        p.answers += answers;
    }
    void addWrite(std::span<const uint8_t> data) {
        while (!data.empty()) {
            if (room() < 2)
                flush();
            const auto n = static_cast<uint32_t>(std::min<size_t>(room() - 1, data.size()));
            auto& p = packets_.back();
            p.bytes.push_back(static_cast<uint8_t>(kOut | n));
            p.bytes.insert(p.bytes.end(), data.begin(), data.begin() + n);
            data = data.subspan(n);
        }
    }
    void addRead(uint32_t count) {
        while (count > 0) {
            if (room() < 1 || answerRoom() < 1)
                flush();
            // All but the last byte of the read are acknowledged.
            const uint32_t acked = std::min({count - 1, answerRoom(), uint32_t{0x3F}});
            if (acked > 0) {
                add({static_cast<uint8_t>(kIn | acked)}, acked);
                count -= acked;
            } else {
                add({kIn}, 1);
                count = 0;
            }
        }
    }
    std::vector<Ch341aSpi::RawPacket> finish() {
        if (!packets_.empty())
            packets_.back().bytes.push_back(kEnd);
        return std::move(packets_);
    }

  private:
    void open() {
        if (packets_.empty() || closed_) {
            packets_.push_back({{kI2cStream}, 0});
            closed_ = false;
        }
    }
    void flush() {
        open();
        packets_.back().bytes.push_back(kEnd);
        closed_ = true;
    }

    std::vector<Ch341aSpi::RawPacket> packets_;
    bool closed_ = false;
};

} // namespace

std::vector<Ch341aSpi::RawPacket> Ch341aI2c::packets(const I2cScript& script) {
    PacketBuilder b;
    for (const I2cOp& op : script.ops()) {
        switch (op.kind) {
        case I2cOp::Start:
            b.add({kStart});
            break;
        case I2cOp::Stop:
            b.add({kStop});
            break;
        case I2cOp::Address:
            b.add({kOut, op.bytes.at(0)}, 1);
            break;
        case I2cOp::Write:
            b.addWrite(op.bytes);
            break;
        case I2cOp::Read:
            b.addRead(op.count);
            break;
        case I2cOp::WaitUs:
            for (uint32_t left = op.count; left > 0;) {
                const uint32_t wait = std::min(left, kMaxWaitUs);
                b.add({static_cast<uint8_t>(kWaitUs | wait)});
                left -= wait;
            }
            break;
        }
    }
    return b.finish();
}

BusResult Ch341aI2c::setClockKHz(uint32_t kHz) {
    static constexpr std::array<uint32_t, 4> kSpeeds{20, 100, 400, 750};
    uint8_t code = 0;
    for (uint8_t i = 0; i < kSpeeds.size(); ++i)
        if (kSpeeds[i] <= kHz)
            code = i;
    const Ch341aSpi::RawPacket packet{{kI2cStream, static_cast<uint8_t>(kSpeed | code), kEnd}, 0};
    std::vector<uint8_t> none;
    const BusResult r = link_.exchange(std::span(&packet, 1), &none);
    if (r == BusResult::Ok)
        kHz_ = kSpeeds[code];
    return r;
}

BusResult Ch341aI2c::run(const I2cScript& script, std::vector<uint8_t>* answers,
                         std::stop_token stop) {
    const std::vector<Ch341aSpi::RawPacket> all = packets(script);
    return link_.exchange(all, answers, stop);
}

} // namespace bridge
