#include "MessageRecorder.h"

RecordingSink::RecordingSink() : previous_(setMessageBoxSink(this)) {}

RecordingSink::~RecordingSink() {
    setMessageBoxSink(previous_);
}

BoxResult RecordingSink::show(BoxStyle style, std::string_view text) {
    boxes.push_back({style, std::string(text)});
    return style == BoxStyle::OkCancel ? answer : BoxResult::Ok;
}

std::vector<std::string> RecordingSink::texts() const {
    std::vector<std::string> out;
    for (const RecordedBox& box : boxes)
        out.push_back(box.text);
    return out;
}
