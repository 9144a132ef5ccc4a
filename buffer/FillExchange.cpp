#include "buffer/FillExchange.h"

#include <utility>

namespace {
int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

int firstNonHexIndex(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (hexDigitValue(text[i]) < 0)
            return static_cast<int>(i);
    }
    return -1;
}

bool parseHex(std::string_view text, uint32_t& value) {
    uint32_t result = 0;
    for (char c : text) {
        int digit = hexDigitValue(c);
        if (digit < 0)
            return false;
        result = (result << 4) | static_cast<uint32_t>(digit);
    }
    value = result;
    return true;
}

FillResult fillBuffer(DataBuffer& buffer, const FillRequest& request) {
    if (!request.inputValid)
        return {FillOutcome::InputError, 0};
    // Past the store nothing exists to fill, so a chip larger than the store counts as the store
    // here.
    const uint32_t inUse = buffer.lengthInStore();
    if (request.startAddress >= inUse)
        return {FillOutcome::StartOutOfRange, 0};
    if (request.startAddress > request.endAddress)
        return {FillOutcome::StartAboveEnd, 0};
    const uint32_t count = request.endAddress < inUse
                               ? request.endAddress - request.startAddress + 1
                               : inUse - request.startAddress;
    return {FillOutcome::Filled, buffer.fill(request.startAddress, count, request.fillValue)};
}

const char* fillMessage(FillOutcome outcome, const Texts& texts) {
    switch (outcome) {
    case FillOutcome::InputError:
        return texts.fillInputError;
    case FillOutcome::StartOutOfRange:
        return texts.fillStartOutOfRange;
    case FillOutcome::StartAboveEnd:
        return texts.fillStartAboveEnd;
    case FillOutcome::Filled:
        break;
    }
    return nullptr;
}

uint32_t exchangeBytes(DataBuffer& buffer) {
    uint8_t* store = buffer.store();
    if (!store)
        return 0;
    const uint32_t inUse = buffer.lengthInStore();
    uint32_t pairs = 0;
    for (uint32_t i = 0; i < inUse && i + 1 < buffer.size(); i += 2) {
        std::swap(store[i], store[i + 1]);
        ++pairs;
    }
    return pairs;
}
