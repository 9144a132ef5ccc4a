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
    size_t offset = 0; // laid out as the compiler lays out the header
    std::ifstream header(BRIMWICK_TEXTS_H);
    std::smatch match;
    for (std::string line; std::getline(header, line);) {
        if (!std::regex_search(line, match, declaration))
            continue;
        const size_t size = match[1] == "int" ? sizeof(int) : sizeof(const char*);
        offset = (offset + size - 1) / size * size;
        for (int i = match[3].matched ? std::stoi(match[3]) : 1; i > 0; --i, offset += size) {
            const char* text[2] = {};
            for (int chinese = 0; chinese < 2 && size != sizeof(int); ++chinese)
                std::memcpy(
                    &text[chinese],
                    reinterpret_cast<const char*>(chinese ? &kTextsChinese : &kTextsEnglish) +
                        offset,
                    size);
            if (std::regex_match(match[2].str(), same))
                EXPECT_STREQ(text[1], text[0]);
            else
                for (int chinese = 0; chinese < 2 && size != sizeof(int); ++chinese)
                    if (!text[chinese])
                        found[chinese].insert(match[2]);
                    else
                        EXPECT_EQ(std::strpbrk(text[chinese], "\xE4\xE5\xE6\xE7\xE8\xE9") !=
                                      nullptr,
                                  chinese == 1)
                            << match[2] << ": " << text[chinese];
        }
    }
    EXPECT_EQ((offset + 7) / 8 * 8, sizeof(Texts)); // the header was read whole
    EXPECT_EQ(found[0], null[0]);
    EXPECT_EQ(found[1], null[1]);
}
