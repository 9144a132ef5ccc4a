#include "app/InfoOptions.h"

#include "res/Texts.h"

#include <string_view>

std::optional<int> answerInfoOptions(int argc, char** argv, Language language, std::FILE* out) {
    const Texts& texts = textsFor(language);
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::fputs(texts.commandLineUsage, out);
        } else if (argument == "--version") {
            std::fprintf(out, "%s %s\n", language == Language::Chinese ? "brimwick-zh" : "brimwick",
                         BRIMWICK_VERSION);
        } else {
            continue;
        }
        return std::fflush(out) == 0 ? 0 : 1;
    }
    return std::nullopt;
}
