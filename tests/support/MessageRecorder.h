// Records every message box instead of showing it, for as long as it lives, and answers
// questions with `answer`.
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
    RecordingSink();
    ~RecordingSink() override;
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;

    BoxResult show(BoxStyle style, std::string_view text) override;
    std::vector<std::string> texts() const;

    std::vector<RecordedBox> boxes;
    BoxResult answer = BoxResult::Ok;

  private:
    MessageBoxSink* previous_;
};
