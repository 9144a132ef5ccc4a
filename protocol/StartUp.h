// What every front end does before its first command, free of any toolkit: load the chip
// database, select the default chip "EN25T80" (or the all-zero chip, with the whole
// store in use) and allocate the 16 MiB store with the chip's bytes set to 0xFF.
//
// The window runs the steps one by one, drawing its panel and view between them; the
// command line runs them all with run(). Nothing is shown here: each step returns what
// happened and startUpMessage() gives the text a front end shows for it. One thread.
#pragma once

#include "buffer/DataBuffer.h"
#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipInfo.h"
#include "res/Texts.h"

#include <functional>

enum class StartUpOutcome {
    Ready,
    DatabaseNotLoaded, // ChipInfo.chip missing or unreadable: nothing else was done
    MemoryShort,       // the store could not be had: the buffer is unusable
};

// The message for a start-up that stopped; null for Ready.
const char* startUpMessage(StartUpOutcome outcome, const Texts& texts);

class StartUp {
  public:
    static constexpr const char* kDefaultChipName = "EN25T80";

    // Every argument must outlive the object; they belong to the front end.
    StartUp(ChipDatabase& database, ChipInfo& currentChip, DataBuffer& buffer);

    StartUpOutcome loadDatabase();
    // Selects the default chip, the buffer's length following its capacity; without it
    // the all-zero chip and the whole store. True when the default chip was found.
    bool selectDefaultChip();
    // Allocates the store through `allocator` (DataBuffer::allocate when empty) and sets
    // the bytes in use to 0xFF.
    StartUpOutcome prepareStore(const std::function<bool(DataBuffer&)>& allocator = {});
    // The three steps in order, stopping at the first that fails.
    StartUpOutcome run();

  private:
    ChipDatabase& database_;
    ChipInfo& currentChip_;
    DataBuffer& buffer_;
};
