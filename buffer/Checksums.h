// Checksums of a span of bytes, as users compare them with a backup, a vendor image or
// another programmer's report: CRC-32 (zlib), SHA-256 (OpenSSL libcrypto) and the 8- and
// 16-bit sums of the bytes. The window shows them for the chip's bytes of the buffer;
// the command-line front end prints them after read, write and verify. No Qt.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

using Sha256Digest = std::array<uint8_t, 32>;

struct Checksums {
    uint64_t byteCount = 0;
    uint32_t crc32 = 0;                 // zlib's CRC-32 (as cksum -a crc32b, 7-Zip, ...)
    std::optional<Sha256Digest> sha256; // empty only when libcrypto failed
    uint8_t sum8 = 0;                   // sum of the bytes modulo 0x100
    uint16_t sum16 = 0;                 // sum of the bytes modulo 0x10000
};

// Collects all four over bytes given in one or more pieces, in order.
class ChecksumBuilder {
  public:
    ChecksumBuilder();
    ~ChecksumBuilder();
    ChecksumBuilder(const ChecksumBuilder&) = delete;
    ChecksumBuilder& operator=(const ChecksumBuilder&) = delete;

    void add(std::span<const uint8_t> bytes);
    // The checksums of everything added so far; the builder is finished afterwards.
    Checksums finish();

  private:
    struct DigestState;
    std::unique_ptr<DigestState> digest_;
    Checksums sums_;
    uint64_t byteSum_ = 0;
};

Checksums checksumsOf(std::span<const uint8_t> bytes);

// "CBF43926": eight uppercase hex digits.
std::string crc32Text(uint32_t crc);
// 64 lowercase hex digits, as sha256sum prints them.
std::string sha256Text(const Sha256Digest& digest);
