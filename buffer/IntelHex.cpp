#include "buffer/IntelHex.h"

#include <cstdio>
#include <cstring>

#include "buffer/ReadableFile.h"
#include "res/MessageBox.h"

namespace {
int upperHexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool decodeHexPairs(std::string_view text, uint8_t* bytes, size_t n) {
    if (text.size() < 2 * n)
        return false;
    for (size_t i = 0; i < 2 * n; ++i) {
        if (upperHexValue(text[i]) < 0)
            return false;
    }
    for (size_t i = 0; i < n; ++i) {
        bytes[i] =
            static_cast<uint8_t>(upperHexValue(text[2 * i]) << 4 | upperHexValue(text[2 * i + 1]));
    }
    return true;
}

HexImage::HexImage() : image_(new uint8_t[kHexImageSize]) {
    std::memset(image_.get(), 0xFF, kHexImageSize);
}

bool HexImage::readIntelHex(const std::string& name, const Texts& texts) {
    FILE* file = openReadableFile(name);
    if (!file) {
        messageBoxIf(texts.hexOpenFailed);
        return false;
    }
    std::memset(image_.get(), 0xFF, kHexImageSize);
    highestEnd_ = 0;

    // The file is closed before any message is shown.
    auto fail = [file](const char* message) {
        std::fclose(file);
        messageBoxIf(message);
        return false;
    };

    for (;;) {
        // Anything between records (line ends, spaces, other text) is skipped. A read
        // error reads as the end of the file.
        int c = std::getc(file);
        if (c == EOF)
            return fail(texts.hexUnexpectedEnd);
        if (c != ':')
            continue;

        char head[8];
        if (std::fread(head, 1, sizeof head, file) != sizeof head)
            return fail(texts.hexUnexpectedEnd);
        uint8_t fields[4];
        if (!decodeHexPairs(std::string_view(head, sizeof head), fields, 4))
            return fail(texts.hexIllegalChar);
        const uint32_t count = fields[0];
        const uint32_t address = static_cast<uint32_t>(fields[1]) << 8 | fields[2];
        const uint8_t type = fields[3];

        if (type == 0x01) {
            if (count != 0)
                return fail(texts.hexBadRecord);
            // The end record's address and checksum are not looked at, nor anything after.
            std::fclose(file);
            return true;
        }
        if (type != 0x00 || count == 0)
            return fail(texts.hexBadRecord);

        char body[2 * 256];
        const size_t bodyChars = 2 * (count + 1);
        if (std::fread(body, 1, bodyChars, file) != bodyChars)
            return fail(texts.hexUnexpectedEnd);
        uint8_t bytes[256];
        if (!decodeHexPairs(std::string_view(body, bodyChars), bytes, count + 1))
            return fail(texts.hexIllegalChar);

        uint32_t sum = count + fields[1] + fields[2];
        for (uint32_t i = 0; i <= count; ++i)
            sum += bytes[i];
        if ((sum & 0xFF) != 0)
            return fail(texts.hexChecksum);

        // Bytes past 0xFFFF have no place in the image; the end address still records
        // them, which makes imageLength() 0.
        for (uint32_t i = 0; i < count && address + i < kHexImageSize; ++i)
            image_[address + i] = bytes[i];
        if (address + count > highestEnd_)
            highestEnd_ = address + count;
    }
}

uint32_t HexImage::imageLength() const {
    return highestEnd_ > kHexImageSize ? 0 : highestEnd_;
}
