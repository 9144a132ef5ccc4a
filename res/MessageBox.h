// The one seam through which every message box of the program passes, so that a
// front end can show real boxes and tests can record them instead of blocking.
#pragma once

#include <string>
#include <string_view>

enum class BoxStyle {
    Ok,        // OK button, no icon
    OkWarning, // OK button, exclamation icon
    OkCancel,  // question with OK and Cancel
    // A warning with Continue and Cancel; Ok means Continue.
    ContinueCancel,
};

enum class BoxResult { Ok, Cancel };

class MessageBoxSink {
  public:
    virtual ~MessageBoxSink() = default;
    virtual BoxResult show(BoxStyle style, std::string_view text) = 0;
};

// Shows a box through the installed sink. Without a sink the text goes to
// standard error and the answer is OK.
BoxResult messageBox(std::string_view text, BoxStyle style = BoxStyle::Ok);

// Shows nothing when `text` is null: several boxes exist in one build only.
BoxResult messageBoxIf(const char* text, BoxStyle style = BoxStyle::Ok);

// Installs `sink` (null: none) and returns the previous one.
MessageBoxSink* setMessageBoxSink(MessageBoxSink* sink);

// Formats like snprintf into a std::string.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
