// Records every message box while it lives instead of showing it; answers with `answer`.
#pragma once

#include "res/MessageBox.h"

#include <string>
#include <vector>

struct RecordedBox {
    BoxStyle style;
    std::string text;
};

class RecordingSink : public MessageBoxSink {
  public:
    RecordingSink() : previous_(setMessageBoxSink(this)) {}
    ~RecordingSink() override { setMessageBoxSink(previous_); }
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;

    BoxResult show(BoxStyle style, std::string_view text) override {
        boxes.push_back({style, std::string(text)});
        return style == BoxStyle::Ok || style == BoxStyle::OkWarning ? BoxResult::Ok : answer;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const RecordedBox& box : boxes)
            out.push_back(box.text);
        return out;
    }

    std::vector<RecordedBox> boxes;
    BoxResult answer = BoxResult::Ok;

  private:
    MessageBoxSink* previous_;
};
