// Where the core's message boxes go in brimwick-cli: their texts become lines on
// stderr, and a question (OK/Cancel) is asked on the terminal, or answered OK without
// asking under --yes or when stdin is no terminal (a script cannot answer).
#pragma once

#include "cli/Output.h"
#include "res/MessageBox.h"

#include <cstdio>

class CliBoxSink final : public MessageBoxSink {
  public:
    CliBoxSink(Output& output, bool yes, std::FILE* in, bool inIsTerminal);
    ~CliBoxSink() override;
    CliBoxSink(const CliBoxSink&) = delete;
    CliBoxSink& operator=(const CliBoxSink&) = delete;

    BoxResult show(BoxStyle style, std::string_view text) override;
    // A yes/no question of the command line itself, answered the same way.
    bool confirm(std::string_view question);

  private:
    Output& output_;
    const bool yes_;
    std::FILE* const in_;
    const bool inIsTerminal_;
    MessageBoxSink* previous_;
};
