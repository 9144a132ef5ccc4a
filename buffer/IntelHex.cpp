#include "buffer/IntelHex.h"

#include "buffer/LineCounter.h"

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

enum RecordType : uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kSegmentAddress = 0x02,
    kStartSegment = 0x03,
    kLinearAddress = 0x04,
    kStartLinear = 0x05,
};

// The count each record type must carry; data records need at least one byte.
bool countFits(uint8_t type, uint32_t count) {
    switch (type) {
    case kData:
        return count > 0;
    case kSegmentAddress:
    case kLinearAddress:
        return count == 2;
    case kStartSegment:
    case kStartLinear:
        return count == 4;
    default:
        return false;
    }
}

LoadOutcome readRecords(FILE* file, DataImage& image, LineCounter& lines) {
    // Added to every data record's address by the last 02 or 04 record.
    uint64_t base = 0;
    for (;;) {
        // Anything between records (line ends, spaces, other text) is skipped.
        int c = std::getc(file);
        if (c == EOF)
            return LoadOutcome::UnexpectedEnd;
        lines.take(c);
        if (c != ':')
            continue;

        char head[8];
        if (std::fread(head, 1, sizeof head, file) != sizeof head)
            return LoadOutcome::UnexpectedEnd;
        uint8_t fields[4];
        if (!decodeHexPairs(std::string_view(head, sizeof head), fields, 4))
            return LoadOutcome::IllegalCharacter;
        const uint32_t count = fields[0];
        const uint32_t offset = static_cast<uint32_t>(fields[1]) << 8 | fields[2];
        const uint8_t type = fields[3];

        if (type == kEndOfFile) {
            // The end record's address and checksum are not looked at, nor anything after.
            return count == 0 ? LoadOutcome::Loaded : LoadOutcome::UnknownRecord;
        }
        if (!countFits(type, count))
            return LoadOutcome::UnknownRecord;

        char body[2 * 256];
        const size_t bodyChars = 2 * (count + 1);
        if (std::fread(body, 1, bodyChars, file) != bodyChars)
            return LoadOutcome::UnexpectedEnd;
        uint8_t bytes[256];
        if (!decodeHexPairs(std::string_view(body, bodyChars), bytes, count + 1))
            return LoadOutcome::IllegalCharacter;

        uint32_t sum = count + fields[1] + fields[2] + type;
        for (uint32_t i = 0; i <= count; ++i)
            sum += bytes[i];
        if ((sum & 0xFF) != 0)
            return LoadOutcome::ChecksumError;

        const uint32_t word = static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
        switch (type) {
        case kData:
            if (!image.put(base + offset, bytes, count))
                return LoadOutcome::BeyondStore;
            break;
        case kSegmentAddress:
            base = uint64_t{word} << 4;
            break;
        case kLinearAddress:
            base = uint64_t{word} << 16;
            break;
        default: // start addresses mean nothing to a memory chip
            break;
        }
    }
}
} // namespace

bool decodeHexPairs(std::string_view text, uint8_t* bytes, size_t n) {
    if (text.size() < 2 * n)
        return false;
    for (size_t i = 0; i < 2 * n; ++i) {
        if (hexValue(text[i]) < 0)
            return false;
    }
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(hexValue(text[2 * i]) << 4 | hexValue(text[2 * i + 1]));
    return true;
}

LoadOutcome readIntelHex(FILE* file, DataImage& image, uint32_t* line) {
    LineCounter lines;
    const LoadOutcome outcome = readRecords(file, image, lines);
    if (line)
        *line = outcome == LoadOutcome::UnexpectedEnd ? lines.lastLine() : lines.line;
    return outcome;
}
