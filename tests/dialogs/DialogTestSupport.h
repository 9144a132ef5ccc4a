// Shared pieces of the dialog tests: temporary folders, a real database file, recorded
// message boxes and a way to answer a modal dialog that the code under test opens.
#pragma once

#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipInfo.h"
#include "res/MessageBox.h"

#include <QWidget>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Records every box; answers `answer` to questions.
class RecordingSink : public MessageBoxSink {
  public:
    RecordingSink();
    ~RecordingSink() override;
    BoxResult show(BoxStyle style, std::string_view text) override;

    std::vector<std::pair<BoxStyle, std::string>> boxes;
    BoxResult answer = BoxResult::Ok;
    std::vector<std::string> texts() const;

  private:
    MessageBoxSink* previous_;
};

ChipInfo makeChip(const char* manufacturer, const char* name, ChipType type,
                  uint32_t capacity = 1024 * 1024);

// Writes an empty database file at `path`, stores `chips` in it with ChipDatabase and
// returns the database loaded from it.
void writeDatabaseFile(const std::string& path, const std::vector<ChipInfo>& chips);

// Reads the file again into a fresh database: what the next start of the program would see.
std::vector<ChipInfo> chipsInFile(const std::string& path);
bool fileHasChip(const std::string& path, const char* name, ChipInfo* out = nullptr);

// Runs `action` on the next modal dialog that opens (within a few seconds). A dialog still
// open afterwards is rejected, so a test never hangs on it.
void onNextModalDialog(std::function<void(QWidget*)> action);
// Stops waiting for a dialog (one that must not open).
void cancelModalWatch();
// True once the action of the last onNextModalDialog has run.
bool modalActionRan();

std::string textOf(const QString& text);

// A user's double-click: press, release, double-click, release.
void doubleClick(QWidget* viewport, QPoint position);
