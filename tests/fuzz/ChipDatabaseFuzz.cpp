// ChipInfo.chip loaded from arbitrary bytes, then the queries and edits the dialogs
// make on what loaded. When the input's fourth byte is odd the header's checksum is
// set right first, so that record contents get past the check.
#include <algorithm>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "chipdb/ChipDatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentBoxes boxes;
    constexpr size_t kHeader = ChipDatabase::kHeaderSize, kRecord = 108;
    std::vector<uint8_t> bytes(data, data + size);
    if (size >= kHeader && (bytes[3] & 1)) {
        const size_t records =
            std::min<size_t>(bytes[0] | bytes[1] << 8, (size - kHeader) / kRecord);
        bytes[2] = 0;
        for (size_t i = 0; i < records * kRecord; ++i)
            bytes[2] = static_cast<uint8_t>(bytes[2] + bytes[kHeader + i]);
    }
    auto db = std::make_unique<ChipDatabase>(Language::Chinese, inputFile(bytes.data(), size));
    if (!db->load()) {
        check(db->count() == 0, "a failed load keeps no records");
        return 0;
    }
    static ManufacturerName makers[100];
    static ChipInfo chips[1024], same[1024];
    const uint16_t makerCount = db->listManufacturers(makers, 100);
    for (uint16_t m = 0; m < makerCount; ++m) {
        const uint16_t n = db->find(chips, 1024, makers[m].data(), nullptr);
        check(n <= db->count(), "chips of a manufacturer");
        for (uint16_t i = 0; i < n; ++i) {
            db->find(same, 1, nullptr, chips[i].name);
            db->findById(same, chips[i].manufacturerId, chips[i].deviceId);
            db->findByManufacturerAndType(same, 1024, makers[m].data(), chips[i].type);
        }
    }
    db->sort();
    if (makerCount > 0 && db->find(chips, 1024, makers[0].data(), nullptr) > 0) {
        db->remove(chips[0].name);
        db->addOrReplace(&chips[0]);
    }
    return 0;
}
