#include "buffer/FileFormat.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {
bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isSRecordName(std::string_view name) {
    const size_t slash = name.find_last_of('/');
    const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    const size_t dot = base.find_last_of('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string_view extension = base.substr(dot + 1);
    constexpr std::array<std::string_view, 5> kExtensions{"srec", "s19", "s28", "s37", "mot"};
    return std::any_of(kExtensions.begin(), kExtensions.end(),
                       [extension](std::string_view e) { return sameIgnoringCase(e, extension); });
}

bool isIntelHexName(std::string_view name) {
    if (name.size() < 3)
        return false;
    const std::string_view tail = name.substr(name.size() - 3);
    return tail == "HEX" || tail == "hex";
}

struct Word {
    FileFormat format;
    const char* word;
};
constexpr Word kWords[] = {
    {FileFormat::Binary, "bin"},
    {FileFormat::IntelHex, "ihex"},
    {FileFormat::SRecord, "srec"},
};
} // namespace

FileFormat formatForName(std::string_view name) {
    if (isSRecordName(name))
        return FileFormat::SRecord;
    return isIntelHexName(name) ? FileFormat::IntelHex : FileFormat::Binary;
}

std::optional<FileFormat> formatFromWord(std::string_view word) {
    for (const Word& w : kWords) {
        if (word == w.word)
            return w.format;
    }
    return std::nullopt;
}

const char* formatWord(FileFormat format) {
    for (const Word& w : kWords) {
        if (w.format == format)
            return w.word;
    }
    return "bin";
}
