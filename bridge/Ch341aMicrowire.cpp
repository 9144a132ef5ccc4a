#include "bridge/Ch341aMicrowire.h"

namespace bridge {
namespace {

constexpr uint8_t kUioStream = 0xAB;
constexpr uint8_t kUioEnd = 0x20;
constexpr uint8_t kSet = 0x80;
constexpr uint8_t kWait = 0xC0;
constexpr uint8_t kRead = 0x00;
constexpr uint8_t kCs = 0x01;
constexpr uint8_t kSk = 0x08;
constexpr uint8_t kDi = 0x20;
constexpr uint8_t kDo = 0x80;
constexpr size_t kOpsPerPacket = Ch341aSpi::kPacketSize - 2;

class PinPackets {
  public:
    void op(uint8_t value, bool answers = false) {
        if (packets_.empty() || packets_.back().bytes.size() == 1 + kOpsPerPacket) {
            close();
            packets_.push_back({{kUioStream}, 0});
        }
        packets_.back().bytes.push_back(value);
        packets_.back().answers += answers ? 1 : 0;
    }
    std::vector<Ch341aSpi::RawPacket> finish() {
        close();
        return std::move(packets_);
    }

  private:
    void close() {
        if (!packets_.empty() && packets_.back().bytes.back() != kUioEnd)
            packets_.back().bytes.push_back(kUioEnd);
    }
    std::vector<Ch341aSpi::RawPacket> packets_;
};

} // namespace

std::vector<Ch341aSpi::RawPacket> Ch341aMicrowire::packets(std::span<const MicrowireFrame> frames) {
    PinPackets p;
    for (const MicrowireFrame& f : frames) {
        p.op(kSet);
        p.op(kSet | kCs);
        for (uint8_t bit : f.bits) {
            const uint8_t di = bit ? kDi : 0;
            p.op(kSet | kCs | di);
            p.op(kSet | kCs | kSk | di);
        }
        for (uint32_t i = 0; i < f.samples; ++i) {
            if (i > 0) {
                p.op(kSet | kCs);
                p.op(kSet | kCs | kSk);
            }
            p.op(kRead, true);
        }
        p.op(kSet | kCs);
        p.op(kSet);
        if (f.readyPollUs > 0) {
            p.op(kSet | kCs);
            for (uint32_t waited = 0; waited < f.readyPollUs; waited += kPollStepUs) {
                p.op(kRead, true);
                p.op(kWait | kPollStepUs);
            }
            p.op(kSet);
        }
    }
    return p.finish();
}

BusResult Ch341aMicrowire::run(std::span<MicrowireFrame> frames, std::stop_token stop) {
    const std::vector<Ch341aSpi::RawPacket> all = packets(frames);
    std::vector<uint8_t> answers;
    if (const BusResult r = link_.exchange(all, &answers, stop); r != BusResult::Ok)
        return r;
    size_t at = 0;
    for (MicrowireFrame& f : frames) {
        const size_t polls = (f.readyPollUs + kPollStepUs - 1) / kPollStepUs;
        f.in.clear();
        for (size_t i = 0; i < f.samples + polls; ++i)
            f.in.push_back(at < answers.size() && (answers[at++] & kDo) ? 1 : 0);
    }
    return at == answers.size() ? BusResult::Ok : BusResult::Failed;
}

} // namespace bridge
