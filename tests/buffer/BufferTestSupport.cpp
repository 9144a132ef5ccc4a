#include "BufferTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "res/MessageBox.h"

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
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

std::string hexRecord(uint16_t address, uint8_t type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> fields{static_cast<uint8_t>(data.size()),
                                static_cast<uint8_t>(address >> 8),
                                static_cast<uint8_t>(address & 0xFF), type};
    fields.insert(fields.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : fields)
        sum += b;
    fields.push_back(static_cast<uint8_t>(-sum & 0xFF));
    std::string text = ":";
    for (uint8_t b : fields)
        text += formatText("%02X", b);
    return text;
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
    return text + hexEndRecord() + lineEnd;
}

std::vector<uint8_t> patternBytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return bytes;
}
