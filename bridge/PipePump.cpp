#include "bridge/PipePump.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace bridge {

BusResult fromIo(usb::IoStatus status) {
    switch (status) {
    case usb::IoStatus::Ok:
        return BusResult::Ok;
    case usb::IoStatus::Gone:
        return BusResult::Gone;
    case usb::IoStatus::Cancelled:
        return BusResult::Cancelled;
    case usb::IoStatus::Failed:
        break;
    }
    return BusResult::Failed;
}

BusResult pumpPipes(usb::PipeChannel& out, usb::PipeChannel& in, const PumpLimits& limits,
                    uint64_t expected, const NextTransfer& next, const TakeAnswers& take,
                    std::stop_token stop, const std::function<void(uint64_t)>& progress) {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t received = 0; // answer bytes so far, under `mutex`
    bool written = false;
    BusResult failure = BusResult::Ok;
    auto lastProgress = std::chrono::steady_clock::now();
    const auto fail = [&](BusResult result) {
        std::lock_guard lock(mutex);
        if (failure == BusResult::Ok)
            failure = result;
        changed.notify_all();
    };

    std::thread writer([&] {
        std::vector<uint8_t> transfer;
        uint64_t answersAfter = 0;
        while (next(&transfer, &answersAfter)) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return failure != BusResult::Ok ||
                           answersAfter <= received + limits.windowBytes;
                });
                if (failure != BusResult::Ok)
                    return;
            }
            const auto size = static_cast<uint32_t>(transfer.size());
            const usb::IoResult r = out.write(transfer.data(), size, {});
            if (r.status != usb::IoStatus::Ok || r.bytes != size)
                return fail(r.status == usb::IoStatus::Ok ? BusResult::Failed : fromIo(r.status));
            std::lock_guard lock(mutex);
            lastProgress = std::chrono::steady_clock::now();
        }
        std::lock_guard lock(mutex);
        written = true;
        changed.notify_all();
    });
    std::thread reader([&] {
        std::vector<uint8_t> buffer(limits.readBytes);
        for (uint64_t got = 0; got < expected;) {
            const usb::IoResult r = in.read(buffer.data(), limits.readBytes);
            if (r.status != usb::IoStatus::Ok)
                return fail(fromIo(r.status));
            if (got + r.bytes > expected)
                return fail(BusResult::Failed); // more answers than questions
            take(buffer.data(), r.bytes);
            got += r.bytes;
            std::lock_guard lock(mutex);
            received = got;
            lastProgress = std::chrono::steady_clock::now();
            changed.notify_all();
        }
    });

    BusResult result = BusResult::Ok;
    {
        std::unique_lock lock(mutex);
        for (;;) {
            if (failure != BusResult::Ok) {
                result = failure;
                break;
            }
            if (written && received == expected)
                break;
            if (stop.stop_requested()) {
                result = BusResult::Cancelled;
                break;
            }
            if (std::chrono::steady_clock::now() - lastProgress >
                std::chrono::milliseconds(limits.idleLimitMs)) {
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
        out.cancel();
        in.cancel();
    }
    writer.join();
    reader.join();
    if (result != BusResult::Ok) {
        out.rearm();
        in.rearm();
    }
    return result;
}

BusResult pumpPackets(usb::PipeChannel& out, usb::PipeChannel& in, const PumpLimits& limits,
                      uint32_t packetSize, uint32_t maxAnswers,
                      std::span<const StreamPacket> packets, std::vector<uint8_t>* answers,
                      std::stop_token stop) {
    answers->clear();
    uint64_t expected = 0;
    for (const StreamPacket& p : packets) {
        if (p.bytes.size() > packetSize || p.answers > maxAnswers)
            return BusResult::Failed; // a caller's mistake; nothing is sent
        expected += p.answers;
    }
    size_t index = 0;
    uint64_t queued = 0;
    const auto next = [&](std::vector<uint8_t>* transfer, uint64_t* after) {
        transfer->clear();
        while (index < packets.size() && transfer->size() + packetSize <= limits.writeBytes) {
            const StreamPacket& p = packets[index++];
            transfer->insert(transfer->end(), p.bytes.begin(), p.bytes.end());
            transfer->resize(transfer->size() + packetSize - p.bytes.size(), 0x00);
            queued += p.answers;
        }
        *after = queued;
        return !transfer->empty();
    };
    const auto take = [&](const uint8_t* bytes, uint32_t count) {
        answers->insert(answers->end(), bytes, bytes + count);
    };
    return pumpPipes(out, in, limits, expected, next, take, stop, {});
}

} // namespace bridge
