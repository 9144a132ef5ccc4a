// Shows the program's message boxes as Qt message boxes titled "Brimwick+".
#pragma once

#include "res/MessageBox.h"
#include "res/Texts.h"

class QtMessageBoxSink : public MessageBoxSink {
  public:
    explicit QtMessageBoxSink(const Texts& texts) : texts_(texts) {}
    BoxResult show(BoxStyle style, std::string_view text) override;

  private:
    const Texts& texts_;
};
