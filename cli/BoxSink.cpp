#include "cli/BoxSink.h"

#include <cctype>
#include <string>

CliBoxSink::CliBoxSink(Output& output, bool yes, std::FILE* in, bool inIsTerminal)
    : output_(output), yes_(yes), in_(in), inIsTerminal_(inIsTerminal),
      previous_(setMessageBoxSink(this)) {}

CliBoxSink::~CliBoxSink() {
    setMessageBoxSink(previous_);
}

BoxResult CliBoxSink::show(BoxStyle style, std::string_view text) {
    if (style == BoxStyle::OkCancel || style == BoxStyle::ContinueCancel) {
        return confirm(text) ? BoxResult::Ok : BoxResult::Cancel;
    }
    output_.note(text);
    return BoxResult::Ok;
}

bool CliBoxSink::confirm(std::string_view question) {
    if (yes_ || !inIsTerminal_) {
        return true;
    }
    output_.ask(std::string(question) + " [y/N] ");
    char line[16] = {};
    if (std::fgets(line, sizeof line, in_) == nullptr) {
        // End of input (Ctrl+D) is no answer, so no: the next message starts a line.
        output_.note("");
        return false;
    }
    std::string answer(line);
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) {
        answer.pop_back();
    }
    for (char& c : answer) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return answer == "y" || answer == "yes";
}
