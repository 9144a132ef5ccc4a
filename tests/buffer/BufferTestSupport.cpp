#include "BufferTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brimwick-buffer-XXXXXX");
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    std::string full = file(name);
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full;
}

std::string TempDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    return write(name, std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> patternBytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return bytes;
}

PatternBuffer::PatternBuffer() {
    EXPECT_TRUE(buffer.allocate());
    auto pattern = patternBytes(0x10000, 0x55);
    buffer.copyIn(0, pattern.data(), pattern.size());
}

namespace {
std::string hexText(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes)
        text += formatText("%02X", b);
    return text;
}
} // namespace

std::string hexRecord(uint16_t address, uint8_t type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> fields{static_cast<uint8_t>(data.size()),
                                static_cast<uint8_t>(address >> 8),
                                static_cast<uint8_t>(address & 0xFF), type};
    fields.insert(fields.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : fields)
        sum += b;
    fields.push_back(static_cast<uint8_t>(-sum & 0xFF));
    return ":" + hexText(fields);
}

std::string hexFile(uint16_t address, const std::vector<uint8_t>& data, size_t perRecord,
                    const std::string& lineEnd) {
    std::string text;
    for (size_t i = 0; i < data.size(); i += perRecord) {
        size_t n = std::min(perRecord, data.size() - i);
        std::vector<uint8_t> chunk(data.begin() + static_cast<long>(i),
                                   data.begin() + static_cast<long>(i + n));
        text += hexRecord(static_cast<uint16_t>(address + i), 0x00, chunk) + lineEnd;
    }
    return text + ":00000001FF" + lineEnd;
}

std::string sRecord(int type, uint32_t address, const std::vector<uint8_t>& data) {
    const int addressBytes = (type == 2 || type == 6 || type == 8) ? 3 : (type % 4 == 3) ? 4 : 2;
    std::vector<uint8_t> fields{static_cast<uint8_t>(addressBytes + data.size() + 1)};
    for (int i = addressBytes - 1; i >= 0; --i)
        fields.push_back(static_cast<uint8_t>(address >> (8 * i)));
    fields.insert(fields.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : fields)
        sum += b;
    fields.push_back(static_cast<uint8_t>(~sum & 0xFF));
    return "S" + std::to_string(type) + hexText(fields) + "\n";
}

bool runTool(const std::string& commandLine) {
    return std::system(commandLine.c_str()) == 0;
}
