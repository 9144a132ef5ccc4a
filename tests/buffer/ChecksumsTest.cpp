#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "buffer/Checksums.h"

TEST(Checksums, KnownVectorsWholeAndInPieces) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* crc;
        const char* sha;
        uint8_t sum8;
        uint16_t sum16;
    };
    const Case cases[] = {
        {"check string", "123456789", "CBF43926",
         "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225", 0xDD, 0x01DD},
        {"abc", "abc", "352441C2",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", 0x26, 0x0126},
        {"nothing", "", "00000000",
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", 0, 0},
        {"300 bytes FF, sums wrap", std::string(300, '\xFF'), "1C0A1881",
         "5263250339d3961c91f0bb1150e95ff862f8cd6a4ca873bc8d274dbe86fd6ce7", 0xD4, 0x2AD4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes(c.bytes.begin(), c.bytes.end());
        ChecksumBuilder pieces;
        const size_t half = bytes.size() / 3;
        pieces.add(std::span(bytes).first(half));
        pieces.add(std::span(bytes).subspan(half));
        for (const Checksums& sums : {checksumsOf(bytes), pieces.finish()}) {
            EXPECT_EQ(sums.byteCount, bytes.size());
            EXPECT_EQ(crc32Text(sums.crc32), c.crc);
            ASSERT_TRUE(sums.sha256.has_value());
            EXPECT_EQ(sha256Text(*sums.sha256), c.sha);
            EXPECT_EQ(sums.sum8, c.sum8);
            EXPECT_EQ(sums.sum16, c.sum16);
        }
    }
}
