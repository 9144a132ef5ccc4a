#include "usb/UsbLink.h"

#include "res/MessageBox.h"
#include "res/Texts.h"
#include "usb/Backends.h"
#include "usb/DataPhaseNote.h"
#include "usb/DeviceInterfaceList.h"
#include "usb/DeviceKinds.h"
#include "usb/TransferState.h"

#include <algorithm>

namespace {

constexpr uint16_t kProgrammerVendor = 0x10C4;
constexpr uint16_t kProgrammerProduct = 0x505D;

} // namespace

UsbLink::UsbLink() : UsbLink(usb::defaultBackends()) {}

UsbLink::UsbLink(std::vector<std::shared_ptr<usb::DeviceBackend>> backends)
    : interfaces_(std::make_unique<usb::DeviceInterfaceList>(std::move(backends))),
      readTransfer_(std::make_unique<usb::TransferState>(usb::Direction::Read)),
      writeTransfer_(std::make_unique<usb::TransferState>(usb::Direction::Write)) {
    writeTransfer_->onWriteActivity = [this](uint64_t now) {
        if (writeDataPending_.load() && now - notedAtMs_.load() >= kNoteRefreshMs)
            noteDataPhase();
    };
}

// The records stop their workers before the pipes they use are let go. A write still
// running is abandoned here: its note tells the next process how long to wait.
UsbLink::~UsbLink() {
    // Before the note goes: the writer refreshes it.
    usb::abandonTransfer(*writeTransfer_);
    if (writeDataPending_.load())
        noteDataPhase();
}

void UsbLink::noteDataPhase() {
    // A phase another process left open is that process's to note.
    if (!writingHere_.load())
        return;
    std::lock_guard lock(noteLock_);
    const uint64_t last = writeTransfer_->lastActivityMs.load();
    const uint64_t now = usb::tickMs();
    notedAtMs_.store(now);
    if (note_)
        note_->record(last != 0 ? last : now);
}

void UsbLink::markOutOfStep() {
    inStep_ = false;
    if (writeDataPending_.load())
        noteDataPhase();
}

void UsbLink::setWriteDataPending(bool pending) {
    writeDataPending_.store(pending);
    writingHere_.store(pending);
    if (pending) {
        // The Write command is about to go: from then on the programmer takes data.
        std::lock_guard lock(noteLock_);
        notedAtMs_.store(usb::tickMs());
        if (note_)
            note_->record(notedAtMs_.load());
    } else {
        std::lock_guard lock(noteLock_);
        if (note_)
            note_->remove();
    }
}

std::vector<std::string> UsbLink::listProgrammers() {
    std::vector<std::string> paths;
    const int count = interfaces_->countInterfaces();
    for (int i = 0; i < count; ++i) {
        // The product is only asked of interfaces whose vendor matched.
        if (interfaces_->vendorIdAt(i) == kProgrammerVendor &&
            interfaces_->productIdAt(i) == kProgrammerProduct)
            paths.push_back(interfaces_->getInterfacePath(i));
    }
    return paths;
}

std::vector<std::string> UsbLink::listBridges() {
    std::vector<std::string> paths;
    const int count = interfaces_->countInterfaces();
    for (int i = 0; i < count; ++i) {
        const std::string path = interfaces_->getInterfacePath(i);
        if (!path.empty() && usb::isBridge(usb::deviceKindOf(path)))
            paths.push_back(path);
    }
    return paths;
}

std::vector<std::string> UsbLink::listDevices() {
    std::vector<std::string> paths = listProgrammers();
    for (std::string& path : listBridges())
        paths.push_back(std::move(path));
    return paths;
}

usb::DeviceBackend* UsbLink::bridgeBackend(const std::string& devicePath) {
    if (!usb::isBridge(usb::deviceKindOf(devicePath)))
        return nullptr;
    const int count = interfaces_->countInterfaces();
    for (int i = 0; i < count; ++i) {
        if (interfaces_->getInterfacePath(i) == devicePath)
            return interfaces_->backendAt(i);
    }
    return nullptr;
}

int UsbLink::open() {
    const int count = interfaces_->countInterfaces();
    int first = -1;
    for (int i = 0; i < count; ++i) {
        if (interfaces_->vendorIdAt(i) != kProgrammerVendor ||
            interfaces_->productIdAt(i) != kProgrammerProduct)
            continue;
        // The chosen programmer, while present, is the only one tried: a failure to
        // open it must not silently program the chip in another.
        if (!preferredPath_.empty() && interfaces_->getInterfacePath(i) == preferredPath_)
            return openAt(i);
        if (first < 0)
            first = i;
    }
    return first >= 0 ? openAt(first) : 0;
}

int UsbLink::openPath(const std::string& devicePath) {
    const int count = interfaces_->countInterfaces();
    for (int i = 0; i < count; ++i) {
        if (interfaces_->getInterfacePath(i) == devicePath &&
            interfaces_->vendorIdAt(i) == kProgrammerVendor &&
            interfaces_->productIdAt(i) == kProgrammerProduct)
            return openAt(i);
    }
    return 0;
}

std::string UsbLink::devicePath() const {
    return devicePath_;
}

int UsbLink::openAt(int index) {
    interfaceHandle_ = interfaces_->openInterface(index);
    if (!interfaceHandle_)
        return 0;
    devicePath_ = interfaces_->currentPath();
    {
        std::lock_guard lock(noteLock_);
        if (!note_ || note_->devicePath() != devicePath_)
            note_ = std::make_unique<usb::DataPhaseNote>(devicePath_);
        // Another process (or this one, earlier) left a write data phase open: nothing
        // is sent before bringInStep has waited it out.
        if (const auto noted = note_->lastByteMs()) {
            if (*noted + kDeviceDataIdleMs + kNoteRefreshMs + kInStepMarginMs > usb::tickMs()) {
                inStep_ = false;
                writeDataPending_.store(true);
            } else if (!writingHere_.load()) {
                note_->remove(); // long over: the programmer is back in command mode
            }
        }
    }

    // The pipe boxes read the same in both language builds.
    const Texts& texts = textsFor(Language::English);
    writePipe_.reset();
    writePipe_ = interfaces_->openPipe("PIPE01");
    if (!writePipe_)
        messageBox(formatText(texts.pipeWriteError, "PIPE01"), BoxStyle::OkWarning);
    // The path still ends in "\PIPE01": the read pipe is opened as "...\PIPE01\PIPE00".
    readPipe_.reset();
    readPipe_ = interfaces_->openPipe("PIPE00");
    if (!readPipe_)
        messageBox(formatText(texts.pipeReadError, "PIPE00"), BoxStyle::OkWarning);
    return 1;
}

int UsbLink::startRead(uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                       uint32_t timeoutMs) {
    return usb::startTransfer(*readTransfer_, readPipe_, buffer, length, count, timeoutMs);
}

int UsbLink::pollRead(int* result) {
    int outcome = 0;
    if (!usb::pollTransfer(*readTransfer_, &outcome))
        return 0;
    if (outcome == 0)
        markOutOfStep();
    if (result)
        *result = outcome;
    return 1;
}

int UsbLink::timedRead(uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                       uint32_t timeoutMs, std::stop_token stop) {
    if (!startRead(buffer, length, count, timeoutMs))
        return 0;
    for (int result = 0;; usb::waitTransfer(*readTransfer_, usb::kPollIntervalMs)) {
        if (stop.stop_requested())
            usb::abandonTransfer(*readTransfer_);
        if (pollRead(&result))
            return result;
    }
}

int UsbLink::waitReadDone(uint32_t maxMs) {
    return usb::waitTransfer(*readTransfer_, maxMs);
}

// The writer only reads from the buffer; the record keeps one pointer type for both.
int UsbLink::startWrite(const uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                        uint32_t timeoutMs) {
    return usb::startTransfer(*writeTransfer_, writePipe_, const_cast<uint8_t*>(buffer), length,
                              count, timeoutMs);
}

int UsbLink::pollWrite(int* result) {
    int outcome = 0;
    if (!usb::pollTransfer(*writeTransfer_, &outcome))
        return 0;
    if (outcome == 0)
        markOutOfStep();
    if (result)
        *result = outcome;
    return 1;
}

int UsbLink::timedWrite(const uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                        uint32_t timeoutMs, std::stop_token stop) {
    if (!startWrite(buffer, length, count, timeoutMs))
        return 0;
    for (int result = 0;; usb::waitTransfer(*writeTransfer_, usb::kPollIntervalMs)) {
        if (stop.stop_requested())
            usb::abandonTransfer(*writeTransfer_);
        if (pollWrite(&result))
            return result;
    }
}

int UsbLink::waitWriteDone(uint32_t maxMs) {
    return usb::waitTransfer(*writeTransfer_, maxMs);
}

void UsbLink::abandonTransfers() {
    usb::abandonTransfer(*readTransfer_);
    usb::abandonTransfer(*writeTransfer_);
    markOutOfStep();
}

bool UsbLink::bringInStep(std::stop_token stop, const std::function<void()>& between) {
    if (inStep_)
        return true;
    const uint64_t start = usb::tickMs();
    uint64_t quietSince = start;
    std::vector<uint8_t> sink(usb::kChunkBytes);
    for (;;) {
        const uint64_t now = usb::tickMs();
        uint64_t dataIdleAt = 0;
        if (writeDataPending_.load()) {
            dataIdleAt =
                writeTransfer_->lastActivityMs.load() + kDeviceDataIdleMs + kInStepMarginMs;
            // Read afresh each time: a process still writing keeps moving it on.
            std::lock_guard lock(noteLock_);
            if (const auto noted = note_ ? note_->lastByteMs() : std::nullopt)
                dataIdleAt = std::max(dataIdleAt, *noted + kDeviceDataIdleMs + kNoteRefreshMs +
                                                      kInStepMarginMs);
        }
        const uint64_t inStepAt = std::max(quietSince + kInStepQuietMs, dataIdleAt);
        if (now >= inStepAt) {
            inStep_ = true;
            writingHere_.store(false);
            if (writeDataPending_.exchange(false)) {
                std::lock_guard lock(noteLock_);
                if (note_)
                    note_->remove();
            }
            return true;
        }
        if (now - start > kInStepLimitMs || stop.stop_requested())
            return false;
        // Whatever arrives is stale: a late answer, the rest of a data phase.
        std::atomic<uint32_t> count{0};
        if (!usb::startTransfer(*readTransfer_, readPipe_, sink.data(), usb::kChunkBytes, &count,
                                static_cast<uint32_t>(inStepAt - now)))
            return false;
        int result = 0;
        while (!usb::pollTransfer(*readTransfer_, &result)) {
            if (stop.stop_requested()) {
                usb::abandonTransfer(*readTransfer_);
                return false;
            }
            if (between)
                between();
            usb::waitTransfer(*readTransfer_, usb::kPollIntervalMs);
        }
        if (result)
            quietSince = usb::tickMs();
        else if (!readTransfer_->timedOut.load())
            return false; // the pipe fails or the device is gone: nothing to drain
    }
}
