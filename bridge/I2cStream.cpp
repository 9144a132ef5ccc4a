#include "bridge/I2cStream.h"

#include <algorithm>

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
constexpr uint32_t kMaxCount = 0x3F; // the count field of 80|n and C0|n
constexpr uint32_t kMaxWaitUs = 15;

using Role = I2cStreamPlan::Role;

// Fills packets step by step; a step that does not fit the packet's room (the stream
// command first, the end marker last) or its answer room starts a new one.
class PacketBuilder {
  public:
    explicit PacketBuilder(const I2cStreamFormat& format) : format_(format) {}

    uint32_t room() {
        open();
        return format_.packetSize - 1 - static_cast<uint32_t>(plan_.packets.back().bytes.size());
    }
    uint32_t answerRoom() {
        open();
        return format_.answerRoom - plan_.packets.back().answers;
    }
    void add(std::initializer_list<uint8_t> bytes, uint32_t answers = 0, Role role = Role::Data) {
        if (room() < bytes.size() || answerRoom() < answers)
            flush();
        open();
        auto& p = plan_.packets.back();
        p.bytes.insert(p.bytes.end(), bytes);
        p.answers += answers;
        plan_.roles.insert(plan_.roles.end(), answers, role);
    }
    void addAddress(uint8_t byte) {
        // The CH347 answers the byte of 81; the CH341A only that of 80 alone.
        const uint8_t command = format_.everyByteAnswered ? kOut | 1 : kOut;
        add({command, byte}, 1, Role::Acknowledgement);
    }
    void addWrite(std::span<const uint8_t> data) {
        while (!data.empty()) {
            const bool answered = format_.everyByteAnswered;
            if (room() < 2 || (answered && answerRoom() < 1))
                flush();
            uint32_t n = std::min({room() - 1, kMaxCount, static_cast<uint32_t>(data.size())});
            if (answered)
                n = std::min(n, answerRoom());
            auto& p = plan_.packets.back();
            p.bytes.push_back(static_cast<uint8_t>(kOut | n));
            p.bytes.insert(p.bytes.end(), data.begin(), data.begin() + n);
            if (answered) {
                p.answers += n;
                plan_.roles.insert(plan_.roles.end(), n, Role::Ignored);
            }
            data = data.subspan(n);
        }
    }
    void addRead(uint32_t count) {
        while (count > 0) {
            if (room() < 1 || answerRoom() < 1)
                flush();
            // All but the last byte of the read are acknowledged.
            const uint32_t acked = std::min({count - 1, answerRoom(), kMaxCount});
            if (acked > 0) {
                add({static_cast<uint8_t>(kIn | acked)}, acked);
                count -= acked;
            } else {
                add({kIn}, 1);
                count = 0;
            }
        }
    }
    I2cStreamPlan finish() {
        if (!plan_.packets.empty())
            plan_.packets.back().bytes.push_back(kEnd);
        return std::move(plan_);
    }

  private:
    void open() {
        if (plan_.packets.empty() || closed_) {
            plan_.packets.push_back({{kI2cStream}, 0});
            closed_ = false;
        }
    }
    void flush() {
        open();
        plan_.packets.back().bytes.push_back(kEnd);
        closed_ = true;
    }

    const I2cStreamFormat& format_;
    I2cStreamPlan plan_;
    bool closed_ = false;
};

} // namespace

I2cStreamPlan encodeI2cStream(const I2cScript& script, const I2cStreamFormat& format) {
    PacketBuilder b(format);
    for (const I2cOp& op : script.ops()) {
        switch (op.kind) {
        case I2cOp::Start:
            b.add({kStart});
            break;
        case I2cOp::Stop:
            b.add({kStop});
            break;
        case I2cOp::Address:
            b.addAddress(op.bytes.at(0));
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

std::optional<std::vector<uint8_t>> decodeI2cAnswers(const I2cStreamPlan& plan,
                                                     const I2cStreamFormat& format,
                                                     std::span<const uint8_t> answers) {
    if (answers.size() != plan.roles.size())
        return std::nullopt;
    std::vector<uint8_t> decoded;
    decoded.reserve(answers.size());
    for (size_t i = 0; i < answers.size(); ++i) {
        switch (plan.roles[i]) {
        case Role::Acknowledgement: {
            const bool acked =
                format.everyByteAnswered ? answers[i] == 0x01 : (answers[i] & 0x80) == 0;
            decoded.push_back(acked ? 0x00 : 0x80);
            break;
        }
        case Role::Data:
            decoded.push_back(answers[i]);
            break;
        case Role::Ignored:
            break;
        }
    }
    return decoded;
}

uint8_t i2cSpeedCode(uint32_t kHz) {
    uint8_t code = 0;
    for (uint8_t i = 0; i < kI2cSpeedsKHz.size(); ++i)
        if (kI2cSpeedsKHz[i] <= kHz)
            code = i;
    return code;
}

StreamPacket i2cSpeedPacket(uint8_t code) {
    return {{kI2cStream, static_cast<uint8_t>(kSpeed | (code & 0x07)), kEnd}, 0};
}

BusResult I2cStreamBus::setClockKHz(uint32_t kHz) {
    const uint8_t code = i2cSpeedCode(kHz);
    const StreamPacket packet = i2cSpeedPacket(code);
    std::vector<uint8_t> none;
    const BusResult r = exchange(std::span(&packet, 1), &none, {});
    if (r == BusResult::Ok)
        kHz_ = kI2cSpeedsKHz[code];
    return r;
}

BusResult I2cStreamBus::run(const I2cScript& script, std::vector<uint8_t>* answers,
                            std::stop_token stop) {
    const I2cStreamPlan plan = encodeI2cStream(script, format_);
    std::vector<uint8_t> raw;
    if (const BusResult r = exchange(plan.packets, &raw, stop); r != BusResult::Ok)
        return r;
    auto decoded = decodeI2cAnswers(plan, format_, raw);
    if (!decoded)
        return BusResult::Failed; // not the answers asked for
    *answers = std::move(*decoded);
    return BusResult::Ok;
}

} // namespace bridge
