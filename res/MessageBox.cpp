#include "res/MessageBox.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {
MessageBoxSink* installedSink = nullptr;
}

BoxResult messageBox(std::string_view text, BoxStyle style) {
    if (installedSink)
        return installedSink->show(style, text);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    return BoxResult::Ok;
}

BoxResult messageBoxIf(const char* text, BoxStyle style) {
    if (!text)
        return BoxResult::Ok;
    return messageBox(text, style);
}

MessageBoxSink* setMessageBoxSink(MessageBoxSink* sink) {
    MessageBoxSink* previous = installedSink;
    installedSink = sink;
    return previous;
}

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}
