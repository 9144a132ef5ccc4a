#include "buffer/Checksums.h"

#include <openssl/evp.h>
#include <zlib.h>

struct ChecksumBuilder::DigestState {
    EVP_MD_CTX* context = nullptr;
    bool ok = false;
    ~DigestState() { EVP_MD_CTX_free(context); }
};

ChecksumBuilder::ChecksumBuilder() : digest_(std::make_unique<DigestState>()) {
    sums_.crc32 = static_cast<uint32_t>(crc32_z(0, Z_NULL, 0));
    digest_->context = EVP_MD_CTX_new();
    digest_->ok = digest_->context != nullptr &&
                  EVP_DigestInit_ex(digest_->context, EVP_sha256(), nullptr) == 1;
}

ChecksumBuilder::~ChecksumBuilder() = default;

void ChecksumBuilder::add(std::span<const uint8_t> bytes) {
    if (bytes.empty())
        return;
    sums_.byteCount += bytes.size();
    sums_.crc32 = static_cast<uint32_t>(crc32_z(sums_.crc32, bytes.data(), bytes.size()));
    if (digest_->ok)
        digest_->ok = EVP_DigestUpdate(digest_->context, bytes.data(), bytes.size()) == 1;
    // Eight lanes of 64-bit sums let the compiler keep the loop wide; none can overflow
    // below 2^56 bytes.
    uint64_t lanes[8] = {};
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8)
        for (size_t lane = 0; lane < 8; ++lane)
            lanes[lane] += bytes[i + lane];
    for (; i < bytes.size(); ++i)
        lanes[0] += bytes[i];
    for (uint64_t lane : lanes)
        byteSum_ += lane;
}

Checksums ChecksumBuilder::finish() {
    sums_.sum8 = static_cast<uint8_t>(byteSum_);
    sums_.sum16 = static_cast<uint16_t>(byteSum_);
    Sha256Digest digest{};
    unsigned int size = 0;
    if (digest_->ok && EVP_DigestFinal_ex(digest_->context, digest.data(), &size) == 1 &&
        size == digest.size())
        sums_.sha256 = digest;
    digest_->ok = false;
    return sums_;
}

Checksums checksumsOf(std::span<const uint8_t> bytes) {
    ChecksumBuilder builder;
    builder.add(bytes);
    return builder.finish();
}

namespace {
std::string hexDigits(const uint8_t* bytes, size_t n, const char* digits) {
    std::string text;
    text.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}
} // namespace

std::string crc32Text(uint32_t crc) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                              static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
    return hexDigits(bytes, 4, "0123456789ABCDEF");
}

std::string sha256Text(const Sha256Digest& digest) {
    return hexDigits(digest.data(), digest.size(), "0123456789abcdef");
}
