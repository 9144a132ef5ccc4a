// The programmer's answer parsing and polling fed arbitrary device packets through an
// in-process pipe. Input: packets, each a length byte (mod 65) and its bytes.
#include "protocol/Programmer.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/ScriptedBackend.h"
#include "usb/UsbLink.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentBoxes boxes;
    auto device = std::make_shared<testsupport::ScriptedBackend>();
    for (size_t at = 0, length = 0; at < size; at += 1 + length) {
        length = std::min<size_t>(data[at] % 65, size - at - 1);
        device->queue(std::vector<uint8_t>(data + at + 1, data + at + 1 + length));
    }
    device->setOutLimit(size > 0 && data[0] & 1 ? 100 : UINT32_MAX);
    std::vector<uint8_t> buffer(256 + 64, 0xA5);
    char text[Programmer::kVersionTextSize + 1] = {};
    for (int step = 0; step < 5; ++step) { // each on a fresh link: a failure unsettles it
        UsbLink link({device});
        FamilyParams params;
        Programmer programmer(params);
        link.open();
        programmer.init(&link);
        uint8_t ids[2];
        int status = 0;
        text[Programmer::kVersionTextSize] = 'G';
        if (step == 0)
            programmer.readChipId(ids);
        else if (step == 1)
            programmer.queryEraseStatus(&status);
        else if (step == 2 && programmer.readFirmwareVersion(text))
            check(std::strlen(text) < Programmer::kVersionTextSize, "version text ended");
        else if (step >= 3 && (step == 3 ? programmer.startReadChip(buffer.data(), 0, 256)
                                         : programmer.startWriteChip(buffer.data(), 0, 200, 256))) {
            OpStatus result;
            while ((result = programmer.poll()) != OpStatus::Idle && result != OpStatus::Failed) {
            }
            check(result == OpStatus::Failed || programmer.getProgress() == 100, "done is 100");
        }
        check(text[Programmer::kVersionTextSize] == 'G', "version text bounded");
        check(buffer[256] == 0xA5 && programmer.state() == BusyState::Idle, "bounded, idle");
    }
    return 0;
}
