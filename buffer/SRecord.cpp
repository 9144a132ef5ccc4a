#include "buffer/SRecord.h"

#include "buffer/LineCounter.h"

#include <cstdint>

namespace {
int hexValue(int c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads 2 * n characters as n bytes.
LoadOutcome readBytes(FILE* file, uint8_t* bytes, size_t n) {
    char text[2 * 256];
    if (std::fread(text, 1, 2 * n, file) != 2 * n)
        return LoadOutcome::UnexpectedEnd;
    for (size_t i = 0; i < n; ++i) {
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return LoadOutcome::IllegalCharacter;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return LoadOutcome::Loaded;
}

// Address bytes of each record type S0 to S9; 0 for the reserved S4.
constexpr uint32_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

LoadOutcome readRecords(FILE* file, DataImage& image, LineCounter& lines) {
    uint32_t dataRecords = 0;
    bool anyRecord = false;
    for (;;) {
        int c = std::getc(file);
        if (c == EOF)
            return anyRecord ? LoadOutcome::Loaded : LoadOutcome::UnexpectedEnd;
        lines.take(c);
        if (c != 'S')
            continue;
        const int typeChar = std::getc(file);
        if (typeChar == EOF)
            return LoadOutcome::UnexpectedEnd;
        if (typeChar < '0' || typeChar > '9')
            return LoadOutcome::IllegalCharacter;
        const int type = typeChar - '0';
        const uint32_t addressBytes = kAddressBytes[type];

        uint8_t count = 0;
        if (LoadOutcome o = readBytes(file, &count, 1); o != LoadOutcome::Loaded)
            return o;
        if (addressBytes == 0 || count < addressBytes + 1)
            return LoadOutcome::UnknownRecord;
        // Address, data and checksum.
        uint8_t bytes[255];
        if (LoadOutcome o = readBytes(file, bytes, count); o != LoadOutcome::Loaded)
            return o;
        uint32_t sum = count;
        for (uint32_t i = 0; i < count; ++i)
            sum += bytes[i];
        if ((sum & 0xFF) != 0xFF)
            return LoadOutcome::ChecksumError;
        anyRecord = true;

        uint32_t address = 0;
        for (uint32_t i = 0; i < addressBytes; ++i)
            address = address << 8 | bytes[i];
        switch (type) {
        case 1:
        case 2:
        case 3:
            if (!image.put(address, bytes + addressBytes, count - addressBytes - 1))
                return LoadOutcome::BeyondStore;
            ++dataRecords;
            break;
        case 5:
        case 6: {
            // A count that does not match means records went missing.
            const uint32_t mask = type == 5 ? 0xFFFF : 0xFFFFFF;
            if (address != (dataRecords & mask))
                return LoadOutcome::UnknownRecord;
            break;
        }
        case 7:
        case 8:
        case 9:
            return LoadOutcome::Loaded;
        default: // S0: the header's text means nothing to the chip
            break;
        }
    }
}
} // namespace

LoadOutcome readSRecords(FILE* file, DataImage& image, uint32_t* line) {
    LineCounter lines;
    const LoadOutcome outcome = readRecords(file, image, lines);
    if (line)
        *line = outcome == LoadOutcome::UnexpectedEnd ? lines.lastLine() : lines.line;
    return outcome;
}
