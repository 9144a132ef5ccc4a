#include "protocol/StartUp.h"

const char* startUpMessage(StartUpOutcome outcome, const Texts& texts) {
    switch (outcome) {
    case StartUpOutcome::Ready:
        return nullptr;
    case StartUpOutcome::DatabaseNotLoaded:
        return texts.dbLoadFailed;
    case StartUpOutcome::MemoryShort:
        return texts.memoryNotEnough;
    }
    return nullptr;
}

StartUp::StartUp(ChipDatabase& database, ChipInfo& currentChip, DataBuffer& buffer)
    : database_(database), currentChip_(currentChip), buffer_(buffer) {}

StartUpOutcome StartUp::loadDatabase() {
    return database_.load() ? StartUpOutcome::Ready : StartUpOutcome::DatabaseNotLoaded;
}

bool StartUp::selectDefaultChip() {
    if (database_.find(&currentChip_, 1, nullptr, kDefaultChipName) == 1) {
        buffer_.setLength(currentChip_.capacity);
        return true;
    }
    // No default chip: nothing is selected, and the whole store is in use.
    currentChip_ = zeroChip();
    buffer_.setLength(kStoreSize);
    return false;
}

StartUpOutcome StartUp::prepareStore(const std::function<bool(DataBuffer&)>& allocator) {
    const bool allocated = allocator ? allocator(buffer_) : buffer_.allocate();
    if (!allocated || !buffer_.allocated()) {
        return StartUpOutcome::MemoryShort;
    }
    buffer_.fill(0, buffer_.length(), 0xFF);
    return StartUpOutcome::Ready;
}

StartUpOutcome StartUp::run() {
    if (const StartUpOutcome loaded = loadDatabase(); loaded != StartUpOutcome::Ready) {
        return loaded;
    }
    selectDefaultChip();
    return prepareStore();
}
