// The programmer's side of the conversation fed arbitrary device packets through an
// in-process pipe: every command's answer check, waitResponse's skipping, and poll's
// read, write and erase states. Input: packets, each a length byte (0..64) and its bytes.
#include "protocol/Programmer.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/ScriptedBackend.h"
#include "usb/UsbLink.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentBoxes boxes;
    auto device = std::make_shared<testsupport::ScriptedBackend>();
    for (size_t at = 0; at < size;) {
        const size_t wanted = data[at++] % 65;
        const size_t length = std::min(wanted, size - at);
        device->queue(std::vector<uint8_t>(data + at, data + at + length));
        at += length;
    }
    device->setOutLimit(size > 0 && data[0] & 1 ? 100 : UINT32_MAX);
    ChipInfo chip{};
    chip.type = ChipType::Flash25;
    std::vector<uint8_t> dest(256 + 64, 0xA5);
    const std::vector<uint8_t> source(200, 0x5A);
    // Each step on a fresh link: a failed one leaves its link out of step.
    for (int step = 0; step < 5; ++step) {
        UsbLink link({device});
        FamilyParams params;
        Programmer programmer(params);
        link.open();
        programmer.init(&link);
        programmer.prepareFamily(chip);
        uint8_t ids[2];
        int status = 0;
        char text[Programmer::kVersionTextSize + 1];
        text[Programmer::kVersionTextSize] = 'G';
        switch (step) {
        case 0:
            programmer.readChipId(ids);
            break;
        case 1:
            programmer.queryEraseStatus(&status);
            break;
        case 2:
            if (programmer.readFirmwareVersion(text))
                check(std::strlen(text) < Programmer::kVersionTextSize, "version text ended");
            check(text[Programmer::kVersionTextSize] == 'G', "version text bounded");
            break;
        default:
            if (step == 3 ? programmer.startReadChip(dest.data(), 0, 256)
                          : programmer.startWriteChip(source.data(), 0, 200, 256)) {
                OpStatus result;
                while ((result = programmer.poll()) != OpStatus::Idle &&
                       result != OpStatus::Failed) {
                }
                check(programmer.state() == BusyState::Idle, "idle after the end");
                check(result == OpStatus::Failed || programmer.getProgress() == 100, "done is 100");
            }
        }
        check(dest[256] == 0xA5, "nothing past the chip's bytes");
    }
    return 0;
}
