// The memory bound of the edit history (the window's tests cover the rest of it).
#include <gtest/gtest.h>

#include <vector>

#include "buffer/EditHistory.h"

TEST(EditHistory, OldestStepsGoPastTheLimitAndTheNewestAlwaysStays) {
    DataBuffer buffer;
    ASSERT_TRUE(buffer.allocate());
    const size_t step = 100 + EditHistory::kStepOverheadBytes;
    EditHistory history(3 * step);
    for (uint8_t value = 0; value < 5; ++value)
        history.record(buffer, value * 100u, 100, [&] { buffer.fill(value * 100u, 100, value); });
    EXPECT_EQ(history.heldBytes(), 3 * step);
    int undone = 0;
    while (history.undo(buffer))
        ++undone;
    EXPECT_EQ(undone, 3);
    const uint8_t* store = buffer.store();
    EXPECT_EQ(std::vector<uint8_t>(store + 99, store + 102), (std::vector<uint8_t>{0, 1, 1}));
    EXPECT_EQ(store[200], 0xFF);

    // A new step forgets the redo steps; one larger than the limit is kept alone.
    history.record(buffer, 0, 1000, [&] { buffer.fill(0, 1000, 0xAA); });
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.heldBytes(), 1000 + EditHistory::kStepOverheadBytes);
    EXPECT_TRUE(history.undo(buffer));
    EXPECT_EQ(std::vector<uint8_t>(store + 99, store + 102), (std::vector<uint8_t>{0, 1, 1}));
    EXPECT_EQ(store[999], 0xFF);
    EXPECT_FALSE(history.undo(buffer));
}
