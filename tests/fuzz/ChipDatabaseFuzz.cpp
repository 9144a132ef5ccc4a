// ChipInfo.chip loaded from arbitrary bytes, then every query and edit the dialogs
// make on what loaded. When the input's fourth byte is odd, the header's checksum is
// set right first, so that record contents get past the check.
#include <algorithm>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "chipdb/ChipDatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentBoxes boxes;
    static MemoryFile file;
    std::vector<uint8_t> bytes(data, data + size);
    if (size >= ChipDatabase::kHeaderSize && (bytes[3] & 1)) {
        const size_t records = std::min<size_t>(bytes[0] | bytes[1] << 8,
                                                (size - ChipDatabase::kHeaderSize) / 108);
        uint8_t sum = 0;
        for (size_t i = 0; i < records * 108; ++i)
            sum = static_cast<uint8_t>(sum + bytes[ChipDatabase::kHeaderSize + i]);
        bytes[2] = sum;
    }
    auto db = std::make_unique<ChipDatabase>(Language::Chinese,
                                             file.holding(bytes.data(), bytes.size()));
    if (!db->load()) {
        check(db->count() == 0, "a failed load keeps no records");
        return 0;
    }
    check(db->count() <= ChipDatabase::kMaxRecords, "count");
    static ManufacturerName makers[100];
    static ChipInfo chips[1024];
    const uint16_t makerCount = db->listManufacturers(makers, 100);
    check(makerCount <= 100, "manufacturers");
    for (uint16_t m = 0; m < makerCount; ++m) {
        const uint16_t n = db->find(chips, 1024, makers[m].data(), nullptr);
        check(n <= db->count(), "chips of a manufacturer");
        for (uint16_t i = 0; i < n; ++i) {
            ChipInfo byName{};
            db->find(&byName, 1, nullptr, chips[i].name);
            ChipInfo byId{};
            db->findById(&byId, chips[i].manufacturerId, chips[i].deviceId);
            static ChipInfo sameType[1024];
            db->findByManufacturerAndType(sameType, 1024, makers[m].data(), chips[i].type);
        }
    }
    db->sort();
    if (db->count() > 0 && db->find(chips, 1024, makers[0].data(), nullptr) > 0) {
        ChipInfo chip = chips[0];
        db->remove(chip.name);
        db->addOrReplace(&chip);
    }
    return 0;
}
