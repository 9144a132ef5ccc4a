#include "bridge/Sfdp.h"

#include <algorithm>

namespace bridge {
namespace {

uint32_t dword(std::span<const uint8_t> image, size_t at) {
    return uint32_t{image[at]} | uint32_t{image[at + 1]} << 8 | uint32_t{image[at + 2]} << 16 |
           uint32_t{image[at + 3]} << 24;
}

struct Table {
    uint16_t id = 0;
    uint8_t major = 0;
    uint32_t dwords = 0;
    uint32_t pointer = 0;
};

bool signatureOk(std::span<const uint8_t> image) {
    return image.size() >= 8 && image[0] == 'S' && image[1] == 'F' && image[2] == 'D' &&
           image[3] == 'P';
}

std::vector<Table> tables(std::span<const uint8_t> image) {
    std::vector<Table> found;
    const size_t count = size_t{image[6]} + 1;
    for (size_t i = 0; i < count && 16 + 8 * i <= image.size(); ++i) {
        const size_t at = 8 + 8 * i;
        found.push_back({static_cast<uint16_t>(image[at + 7] << 8 | image[at]), image[at + 2],
                         image[at + 3],
                         uint32_t{image[at + 4]} | uint32_t{image[at + 5]} << 8 |
                             uint32_t{image[at + 6]} << 16});
    }
    return found;
}

SfdpInfo damaged(SfdpInfo info, std::string problem) {
    info.state = SfdpState::Damaged;
    info.problem = std::move(problem);
    return info;
}

} // namespace

uint64_t capacityFromJedec(uint8_t capacityCode) {
    return capacityCode >= 16 && capacityCode <= 31 ? uint64_t{1} << capacityCode : 0;
}

uint32_t sfdpBytesNeeded(std::span<const uint8_t> header) {
    if (!signatureOk(header))
        return 0;
    uint64_t needed = 8 + 8 * (uint64_t{header[6]} + 1);
    for (const Table& t : tables(header))
        needed = std::max<uint64_t>(needed, uint64_t{t.pointer} + 4 * uint64_t{t.dwords});
    return static_cast<uint32_t>(std::min<uint64_t>(needed, kMaxSfdpBytes));
}

SfdpInfo parseSfdp(std::span<const uint8_t> image, uint64_t jedecCapacity) {
    SfdpInfo info;
    if (!signatureOk(image))
        return info;
    info.minorRevision = image[4];
    info.majorRevision = image[5];
    if (info.majorRevision != 1)
        return damaged(info, "unknown SFDP major revision");
    const std::vector<Table> all = tables(image);
    const auto fits = [&image](const Table& t) {
        return t.dwords > 0 && uint64_t{t.pointer} + 4 * uint64_t{t.dwords} <= image.size() &&
               t.pointer % 4 == 0;
    };
    const auto basic =
        std::find_if(all.begin(), all.end(), [](const Table& t) { return t.id == 0xFF00; });
    if (basic == all.end() || basic->major != 1)
        return damaged(info, "no basic flash parameter table");
    if (!fits(*basic) || basic->dwords < 9)
        return damaged(info, "basic flash parameter table outside the SFDP data or too short");
    const auto dw = [&](uint32_t n) { return dword(image, basic->pointer + 4 * (n - 1)); };

    const uint32_t first = dw(1);
    switch ((first >> 17) & 3) {
    case 0:
        break;
    case 1:
        info.fourByteAddress = true;
        break;
    case 2:
        info.threeByteAddress = false;
        info.fourByteAddress = true;
        break;
    default:
        return damaged(info, "reserved address byte setting");
    }
    const uint32_t density = dw(2);
    if (density & 0x80000000u) {
        const uint32_t power = density & 0x7FFFFFFF;
        if (power < 3 || power > 40)
            return damaged(info, "density out of range");
        info.capacity = (uint64_t{1} << power) / 8;
    } else {
        info.capacity = (uint64_t{density} + 1) / 8;
    }
    if (info.capacity == 0 || (jedecCapacity != 0 && info.capacity != jedecCapacity))
        return damaged(info, "density disagrees with the JEDEC ID");

    std::vector<uint32_t> typeNumbers; // 0-3, beside eraseTypes until they are sorted
    for (uint32_t n = 8; n <= 9; ++n) {
        const uint32_t value = dw(n);
        for (int half = 0; half < 2; ++half) {
            const uint8_t power = static_cast<uint8_t>(value >> (16 * half));
            const uint8_t opcode = static_cast<uint8_t>(value >> (16 * half + 8));
            if (power == 0)
                continue;
            if (power < 9 || power > 26)
                return damaged(info, "erase type size out of range");
            info.eraseTypes.push_back({uint32_t{1} << power, opcode, 0});
            typeNumbers.push_back(2 * (n - 8) + static_cast<uint32_t>(half));
        }
    }
    if (info.eraseTypes.empty())
        return damaged(info, "no erase type");
    if (basic->dwords >= 11) {
        const uint32_t power = (dw(11) >> 4) & 0xF;
        info.pageSize = power == 0 ? 256 : uint32_t{1} << power;
    }
    if (basic->dwords >= 16 && info.fourByteAddress) {
        const uint32_t enter = dw(16) >> 24;
        info.enter4ByteB7 = (enter & 0x03) != 0;
        info.enter4ByteNeedsWren = (enter & 0x01) == 0 && (enter & 0x02) != 0;
        info.fourByteOpcodes = (enter & 0x20) != 0;
    }
    // The 4-byte address instruction table: which 4-byte opcodes exist, and the erase ones.
    const auto fourByte =
        std::find_if(all.begin(), all.end(), [](const Table& t) { return t.id == 0xFF84; });
    if (fourByte != all.end() && fits(*fourByte) && fourByte->dwords >= 2) {
        const uint32_t support = dword(image, fourByte->pointer);
        const uint32_t opcodes = dword(image, fourByte->pointer + 4);
        // 13 read, 0C fast read and 12 page program.
        info.fourByteOpcodes = info.fourByteOpcodes || (support & 0x43) == 0x43;
        for (size_t i = 0; i < info.eraseTypes.size(); ++i) {
            const uint32_t type = typeNumbers[i];
            if (support & (0x200u << type))
                info.eraseTypes[i].opcode4 = static_cast<uint8_t>(opcodes >> (8 * type));
        }
    }
    std::sort(info.eraseTypes.begin(), info.eraseTypes.end(),
              [](const EraseType& a, const EraseType& b) { return a.size < b.size; });
    info.state = SfdpState::Sound;
    return info;
}

} // namespace bridge
