#include "buffer/RecordWriter.h"

#include <algorithm>
#include <string>

namespace {
constexpr size_t kBytesPerRecord = 16;

void appendHexByte(std::string& line, uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    line += kDigits[byte >> 4];
    line += kDigits[byte & 0x0F];
}

// Appends the most significant `n` bytes of the `n`-byte big-endian `value` and adds
// them to `sum`.
void appendBigEndian(std::string& line, uint32_t value, int n, uint32_t& sum) {
    for (int shift = 8 * (n - 1); shift >= 0; shift -= 8) {
        const auto byte = static_cast<uint8_t>(value >> shift);
        appendHexByte(line, byte);
        sum += byte;
    }
}

bool putLine(FILE* file, std::string& line) {
    line += "\r\n";
    return std::fwrite(line.data(), 1, line.size(), file) == line.size();
}

// ":" count, 16-bit address, type, data, two's complement checksum.
bool putIntelRecord(FILE* file, uint16_t address, uint8_t type, std::span<const uint8_t> data) {
    std::string line = ":";
    uint32_t sum = 0;
    appendBigEndian(line, static_cast<uint32_t>(data.size()), 1, sum);
    appendBigEndian(line, address, 2, sum);
    appendBigEndian(line, type, 1, sum);
    for (uint8_t b : data) {
        appendHexByte(line, b);
        sum += b;
    }
    appendHexByte(line, static_cast<uint8_t>(-sum));
    return putLine(file, line);
}

// "S" type, count (address, data and checksum bytes), address, data, ones' complement
// checksum.
bool putSRecord(FILE* file, int type, int addressBytes, uint32_t address,
                std::span<const uint8_t> data) {
    std::string line = "S";
    line += static_cast<char>('0' + type);
    uint32_t sum = 0;
    appendBigEndian(line, static_cast<uint32_t>(addressBytes + data.size() + 1), 1, sum);
    appendBigEndian(line, address, addressBytes, sum);
    for (uint8_t b : data) {
        appendHexByte(line, b);
        sum += b;
    }
    appendHexByte(line, static_cast<uint8_t>(~sum));
    return putLine(file, line);
}
} // namespace

bool writeIntelHex(FILE* file, std::span<const uint8_t> bytes) {
    for (size_t at = 0; at < bytes.size(); at += kBytesPerRecord) {
        if (at > 0 && at % 0x10000 == 0) {
            const uint8_t upper[2] = {static_cast<uint8_t>(at >> 24),
                                      static_cast<uint8_t>(at >> 16)};
            if (!putIntelRecord(file, 0, 0x04, upper))
                return false;
        }
        const size_t n = std::min(kBytesPerRecord, bytes.size() - at);
        if (!putIntelRecord(file, static_cast<uint16_t>(at), 0x00, bytes.subspan(at, n)))
            return false;
    }
    return putIntelRecord(file, 0, 0x01, {});
}

bool writeSRecords(FILE* file, std::span<const uint8_t> bytes) {
    const uint64_t highest = bytes.empty() ? 0 : bytes.size() - 1;
    const int addressBytes = highest <= 0xFFFF ? 2 : highest <= 0xFFFFFF ? 3 : 4;
    const int dataType = addressBytes - 1; // S1, S2, S3
    if (!putSRecord(file, 0, 2, 0, {}))
        return false;
    uint32_t records = 0;
    for (size_t at = 0; at < bytes.size(); at += kBytesPerRecord, ++records) {
        const size_t n = std::min(kBytesPerRecord, bytes.size() - at);
        if (!putSRecord(file, dataType, addressBytes, static_cast<uint32_t>(at),
                        bytes.subspan(at, n)))
            return false;
    }
    const bool shortCount = records <= 0xFFFF;
    if (!putSRecord(file, shortCount ? 5 : 6, shortCount ? 2 : 3, records, {}))
        return false;
    return putSRecord(file, 10 - dataType, addressBytes, 0, {}); // S9, S8, S7
}
