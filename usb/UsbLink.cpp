#include "usb/UsbLink.h"

#include "res/MessageBox.h"
#include "res/Texts.h"
#include "usb/DeviceInterfaceList.h"
#include "usb/TransferState.h"

namespace {

constexpr uint16_t kProgrammerVendor = 0x10C4;
constexpr uint16_t kProgrammerProduct = 0x505D;

} // namespace

UsbLink::UsbLink() = default;

UsbLink::~UsbLink() {
    usb::stopTransfersOf(usb::readTransfer(), this);
    usb::stopTransfersOf(usb::writeTransfer(), this);
}

int UsbLink::open() {
    usb::DeviceInterfaceList& list = usb::deviceInterfaceList();
    int count = list.countInterfaces();
    int found = -1;
    for (int i = 0; i < count && found < 0; ++i) {
        // The product is only asked of interfaces whose vendor matched.
        if (list.vendorIdAt(i) == kProgrammerVendor && list.productIdAt(i) == kProgrammerProduct)
            found = i;
    }
    if (found < 0)
        return 0;

    interfaceHandle_ = list.openInterface(found);
    if (!interfaceHandle_)
        return 0;

    // The pipe boxes read the same in both language builds.
    const Texts& texts = textsFor(Language::English);
    writePipe_.reset();
    writePipe_ = list.openPipe("PIPE01");
    if (!writePipe_)
        messageBox(formatText(texts.pipeWriteError, "PIPE01"), BoxStyle::OkWarning);
    // The path still ends in "\PIPE01": the read pipe is opened as "...\PIPE01\PIPE00".
    readPipe_.reset();
    readPipe_ = list.openPipe("PIPE00");
    if (!readPipe_)
        messageBox(formatText(texts.pipeReadError, "PIPE00"), BoxStyle::OkWarning);
    return 1;
}

int UsbLink::startRead(uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                       uint32_t timeoutMs) {
    return usb::startTransfer(usb::readTransfer(), this, readPipe_, buffer, length, count,
                              timeoutMs);
}

int UsbLink::pollRead(int* result) {
    return usb::pollTransfer(usb::readTransfer(), result);
}

int UsbLink::timedRead(uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                       uint32_t timeoutMs) {
    return usb::runTransfer(usb::readTransfer(), this, readPipe_, buffer, length, count, timeoutMs);
}

int UsbLink::waitReadDone(uint32_t maxMs) {
    return usb::waitTransfer(usb::readTransfer(), maxMs);
}

// The writer only reads from the buffer; the record keeps one pointer type for both.
int UsbLink::startWrite(const uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                        uint32_t timeoutMs) {
    return usb::startTransfer(usb::writeTransfer(), this, writePipe_, const_cast<uint8_t*>(buffer),
                              length, count, timeoutMs);
}

int UsbLink::pollWrite(int* result) {
    return usb::pollTransfer(usb::writeTransfer(), result);
}

int UsbLink::timedWrite(const uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                        uint32_t timeoutMs) {
    return usb::runTransfer(usb::writeTransfer(), this, writePipe_, const_cast<uint8_t*>(buffer),
                            length, count, timeoutMs);
}

int UsbLink::waitWriteDone(uint32_t maxMs) {
    return usb::waitTransfer(usb::writeTransfer(), maxMs);
}
