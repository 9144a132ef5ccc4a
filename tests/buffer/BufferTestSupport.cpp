#include "BufferTestSupport.h"

#include <gtest/gtest.h>

std::string patternBytes(size_t n, uint8_t seed) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(i * 7 + seed + (i >> 8));
    return bytes;
}

DataBuffer& patternBuffer(const std::string& head) {
    static DataBuffer buffer;
    EXPECT_TRUE(buffer.allocate());
    buffer.fill(0, kStoreSize, 0xFF);
    buffer.copyIn(0, reinterpret_cast<const uint8_t*>(head.data()), head.size());
    return buffer;
}

namespace {
// The fields as hex digits, then the checksum the format asks for.
std::string withChecksum(const std::string& fields, bool onesComplement) {
    unsigned sum = 0;
    std::string text;
    for (char b : fields) {
        sum += static_cast<uint8_t>(b);
        text += formatText("%02X", static_cast<uint8_t>(b));
    }
    return text + formatText("%02X", (onesComplement ? ~sum : -sum) & 0xFF);
}
} // namespace

std::string hexRecord(uint16_t address, uint8_t type, const std::string& data) {
    const char head[] = {static_cast<char>(data.size()), static_cast<char>(address >> 8),
                         static_cast<char>(address), static_cast<char>(type)};
    return ":" + withChecksum(std::string(head, 4) + data, false);
}

std::string hexFile(uint16_t address, const std::string& data, size_t perRecord,
                    const std::string& lineEnd) {
    std::string text;
    for (size_t i = 0; i < data.size(); i += perRecord)
        text +=
            hexRecord(static_cast<uint16_t>(address + i), 0, data.substr(i, perRecord)) + lineEnd;
    return text + ":00000001FF" + lineEnd;
}

std::string sRecord(int type, uint32_t address, const std::string& data) {
    const int addressBytes = (type == 2 || type == 6 || type == 8) ? 3 : (type % 4 == 3) ? 4 : 2;
    std::string fields(1, static_cast<char>(addressBytes + data.size() + 1));
    for (int i = addressBytes - 1; i >= 0; --i)
        fields += static_cast<char>(address >> (8 * i));
    return "S" + std::to_string(type) + withChecksum(fields + data, true) + "\n";
}
