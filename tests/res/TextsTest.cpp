// The texts of both builds, field by field as the header lists them (a field added later is
// checked too): which ones a build leaves null, and none in the other build's language.
#include "res/Texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <set>

TEST(Texts, EachBuildLeavesNullOnlyItsSilentPlacesAndSpeaksOnlyItsLanguage) {
    // English: failure paths only the Chinese build reports. Chinese: two untipped buttons.
    const std::set<std::string> null[2] = {{"identifyFailureBox", "dbPathNotFound",
                                            "dbFileOpenFailed", "hexUnexpectedEnd",
                                            "hexIllegalChar", "hexBadRecord", "hexChecksum",
                                            "saveDone", "relateBinFailed", "relateHexFailed"},
                                           {"tipFill", "tipExchange", "chipDbSaveFailed"}};
    // Names, units and column heads: the same in both ("25 FLASH", "KB", "ASCII").
    const std::regex same("windowTitle|aboutText|colHex|colAscii|family\\d\\d\\w+|unitK?B");
    const std::regex declaration(R"(^\s*(const char\*|int) (\w+)(?:\[(\d+)\])?;)");
    std::set<std::string> found[2];
    size_t at = 0; // each field's offset, laid out as the compiler lays out the header
    std::ifstream header(BRIMWICK_TEXTS_H);
    std::smatch field;
    for (std::string line; std::getline(header, line);) {
        if (!std::regex_search(line, field, declaration))
            continue;
        const size_t size = field[1] == "int" ? sizeof(int) : sizeof(const char*);
        at = (at + size - 1) / size * size;
        for (int i = field[3].matched ? std::stoi(field[3]) : 1; i > 0; --i, at += size) {
            const char* text[2] = {};
            for (int zh = 0; zh < 2 && size > sizeof(int); ++zh)
                std::memcpy(
                    &text[zh],
                    reinterpret_cast<const char*>(zh ? &kTextsChinese : &kTextsEnglish) + at, size);
            for (int zh = 0; zh < 2 && size > sizeof(int); ++zh)
                if (std::regex_match(field[2].str(), same))
                    EXPECT_STREQ(text[zh], text[0]);
                else if (!text[zh])
                    found[zh].insert(field[2]);
                else // CJK characters start with E4 to E9 in UTF-8
                    EXPECT_EQ(!!std::strpbrk(text[zh], "\xE4\xE5\xE6\xE7\xE8\xE9"), zh == 1)
                        << field[2] << ": " << text[zh];
        }
    }
    EXPECT_EQ((at + 7) / 8 * 8, sizeof(Texts)); // the header was read whole
    EXPECT_EQ(found[0], null[0]);
    EXPECT_EQ(found[1], null[1]);
}
