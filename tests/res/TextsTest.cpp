// The texts of both builds, field by field as the header lists them, so that a field added
// later is checked too: which ones a build leaves null, and none in the other's language.
#include "res/Texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

struct Field {
    std::string name;
    size_t offset; // of a text; the int fields are only counted
};

// The texts of Texts with their offsets, laid out as the compiler lays out the header.
std::vector<Field> textFields() {
    std::ifstream header(BRIMWICK_TEXTS_H);
    const std::regex declaration(R"(^\s*(const char\*|int) (\w+)(?:\[(\d+)\])?;)");
    std::vector<Field> fields;
    size_t offset = 0;
    std::smatch match;
    for (std::string line; std::getline(header, line);) {
        if (!std::regex_search(line, match, declaration))
            continue;
        const bool text = match[1] == "const char*";
        const size_t size = text ? sizeof(const char*) : sizeof(int);
        const int count = match[3].matched ? std::stoi(match[3]) : 1;
        offset = (offset + size - 1) / size * size;
        for (int i = 0; i < count; ++i, offset += size)
            if (text)
                fields.push_back(
                    {match[2].str() + (count > 1 ? "[" + std::to_string(i) + "]" : ""), offset});
    }
    EXPECT_EQ((offset + alignof(Texts) - 1) / alignof(Texts) * alignof(Texts), sizeof(Texts));
    return fields;
}

const char* textAt(const Texts& texts, const Field& field) {
    const char* text;
    std::memcpy(&text, reinterpret_cast<const char*>(&texts) + field.offset, sizeof text);
    return text;
}

} // namespace

TEST(Texts, EachBuildLeavesNullOnlyItsSilentPlacesAndSpeaksOnlyItsLanguage) {
    // The failure paths that only the Chinese build reports, and the two toolbar buttons
    // without a Chinese tooltip.
    const std::set<std::string> englishNull = {
        "identifyFailureBox", "dbPathNotFound", "dbFileOpenFailed", "hexUnexpectedEnd",
        "hexIllegalChar",     "hexBadRecord",   "hexChecksum",      "saveDone",
        "relateBinFailed",    "relateHexFailed"};
    const std::set<std::string> chineseNull = {"tipFill", "tipExchange", "chipDbSaveFailed"};
    // Names, units and column heads: the same text in both builds.
    const std::set<std::string> same = {
        "windowTitle",    "aboutText",      "colHex",         "colAscii", "family25Flash",
        "family25Eeprom", "family24Eeprom", "family93Eeprom", "unitB",    "unitKB"};
    std::set<std::string> nullIn[2];
    const std::vector<Field> fields = textFields();
    ASSERT_GT(fields.size(), 200u);
    for (const Field& field : fields) {
        if (same.count(field.name)) {
            EXPECT_STREQ(textAt(kTextsChinese, field), textAt(kTextsEnglish, field));
            continue;
        }
        for (bool chinese : {false, true}) {
            const char* text = textAt(chinese ? kTextsChinese : kTextsEnglish, field);
            if (!text) {
                nullIn[chinese].insert(field.name);
                continue;
            }
            const bool cjk =
                std::any_of(text, text + std::strlen(text), [](char c) { return c & 0x80; });
            if (cjk != chinese)
                ADD_FAILURE() << (chinese ? "Chinese " : "English ") << field.name << ": " << text;
        }
    }
    EXPECT_EQ(nullIn[0], englishNull);
    EXPECT_EQ(nullIn[1], chineseNull);
}
