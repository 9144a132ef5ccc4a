// The main window: menu bar, toolbar, hex view, chip panel, status line and progress.
// It owns every long-lived object of the program (chip database, current chip, data
// buffer and hex view state) and handles every command.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "buffer/ByteSearch.h"
#include "buffer/DataBuffer.h"
#include "buffer/EditHistory.h"
#include "buffer/HexEditor.h"
#include "buffer/HexViewModel.h"
#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipInfo.h"
#include "protocol/DeviceOperations.h"
#include "protocol/Programmer.h"
#include "res/Language.h"
#include "res/Texts.h"
#include "usb/UsbLink.h"

class HexViewWidget;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QTextEdit;
class QProgressBar;
class QToolBar;
class QToolButton;

class CMainDlg : public QDialog {
    Q_OBJECT
  public:
    // Without `databasePath` the chip database is ChipInfo.chip beside the program.
    explicit CMainDlg(Language language, std::optional<std::string> databasePath = std::nullopt,
                      QWidget* parent = nullptr);
    ~CMainDlg() override;

    // The start-up sequence, run once before the window is shown. `arguments` are the
    // command-line arguments after the program's name: exactly one names a data file
    // to load. Returns false where start-up stopped early (database or memory); the
    // window still opens, but the commands that need the buffer are refused.
    bool OnInitDialog(const std::vector<std::string>& arguments);
    // True once the buffer and the hex view are set up.
    bool startedUp() const { return startedUp_; }

    // --- Chip panel, status line and progress ---------------------------------------
    // `more`: lines shown below the chip's own (Windows line ends).
    void showChipInfo(const ChipInfo& chip, const std::string& more = {});
    void enableCommand(unsigned id, bool enable);
    void setStatusText(const char* text);
    void setStatusText(std::string text);
    // Shows the programmer's progress: bar and percentage, without upper bound.
    void showProgress();
    // Shows the low 16 bits of `percent` when below 100; otherwise changes nothing.
    void showPercent(int percent);
    // Where showProgress reads the programmer's progress percentage.
    void setProgressSource(std::function<uint16_t()> source) {
        progressSource_ = std::move(source);
    }
    // Lets the window handle pending input and painting inside a long operation.
    // Does not wait.
    void pumpOneMessage();

    // --- Hex view ---------------------------------------------------------------------
    void setUpHexView();
    void refreshHexView();
    void OnVScroll(int code, uint32_t position);
    // After Select Device changed currentChip: length = capacity, topRow 0, scroll bar
    // position 0 and range, setUpHexView, refreshHexView.
    void applyChipChangeToView();
    // After Identify changed currentChip: length = capacity, topRow 0, scroll bar
    // position 0 and range, refreshHexView (the lines are not set up again).
    void applyIdentifiedChipToView();
    // After a file load: topRow 0, scroll range and position 0, refreshHexView.
    void resetViewAfterLoad();

    // Loads a data file into the buffer over the current chip's capacity and resets
    // the view on success. Shows the format's own messages; the caller reports failure.
    // `failure` (when given) receives the box to show when the load failed.
    bool loadDataFile(const std::string& name, std::string* failure = nullptr);

    // --- Command handlers (menu 129 and toolbar 130) --------------------------------
    void OnFileOpen();
    void OnFileSave();
    // File > Save; true when the buffer reached the file.
    bool saveBuffer();
    void OnFileAssociate();
    void OnFileExit();
    void OnEditFill();
    void OnEditExchange();
    void OnAuto();
    void OnRead();
    void OnErase();
    void OnWrite();
    void OnVerify();
    void OnChipIdentify();
    void OnChipSelect();
    void OnChipEdit();
    void OnFirmwareVersion();
    void OnBlankCheck();
    void OnHelpAbout();
    void OnHelpUserGuide();
    // Buffer tools (MainDlgToolCommands.cpp)
    void OnEditUndo();
    void OnEditRedo();
    void OnEditGoTo();
    void OnEditFind();
    void OnEditChecksum();
    void OnFileCompare();
    // Searches again for what Find looked for last (Find opens when nothing was sought).
    void findAgain(SearchDirection direction);
    // Undo and Redo can be chosen exactly when there is a step to take.
    void updateUndoCommands();
    // Operation > Programmer: lists the programmers present with their firmware
    // versions (each asked once), the one in use checked.
    void listProgrammers();
    // The I²C speed submenu of the Programmer menu, for the bridge at `bridgePath`.
    void addI2cSpeedMenu(const std::string& bridgePath);
    // Device commands open `devicePath` first from now on, while it is present.
    void chooseProgrammer(const std::string& devicePath);
    // One entry of the Programmer menu: the device path, then its version or kind.
    void addProgrammerEntry(const std::string& path, const std::string& detail, bool inUse);
    // After the programmers: the SPI clock of `inUse`, settable for a CH347 only.
    void addSpiClockChoice(const std::string& inUse);
    // Runs the handler of `id` when the window is in a state to run it.
    void runCommand(unsigned id);
    // False for commands that need the buffer while start-up stopped before it.
    bool commandAllowed(unsigned id) const;

    // --- State -------------------------------------------------------------------------
    Language language() const { return language_; }
    const Texts& texts() const { return texts_; }
    ChipDatabase& chipDatabase() { return chipDatabase_; }
    ChipInfo& currentChip() { return currentChip_; }
    DataBuffer& dataBuffer() { return buffer_; }
    HexViewModel& hexViewModel() { return hexModel_; }
    HexEditor& hexEditor() { return editor_; }
    EditHistory& editHistory() { return history_; }
    Programmer& programmer() { return programmer_; }

    // --- Controls (for the handlers and the tests) ----------------------------------
    QAction* action(unsigned id) const;
    QMenuBar* menu() const { return menuBar_; }
    QMenu* programmerMenu() const { return programmerMenu_; }
    QToolBar* toolBar() const { return toolBar_; }
    HexViewWidget* hexView() const { return hexView_; }
    QTextEdit* chipInfoEdit() const { return chipInfoEdit_; }
    QLabel* chipPictureLabel() const { return chipPicture_; }
    QLineEdit* statusEdit() const { return statusEdit_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QLineEdit* percentEdit() const { return percentEdit_; }
    QGroupBox* chipInfoGroup() const { return chipInfoGroup_; }
    // The family whose socket picture is shown; -1 when the picture is empty.
    int shownPictureType() const { return shownPictureType_; }

    // --- Seams for the file dialogs and the user guide -------------------------------
    // Folder that holds UserGuide.pdf and the guide's HTML; unless set, the program's own
    // folder, then its installation's documentation folder.
    void setUserGuideFolder(QString folder) { userGuideFolder_ = std::move(folder); }
    // The program that opens the user guide in the desktop's viewer, given the file's
    // path; xdg-open unless set.
    void setDocumentOpener(QString program) { documentOpener_ = std::move(program); }
    // Allocates the buffer's store at start-up; DataBuffer::allocate unless set.
    void setStoreAllocator(std::function<bool(DataBuffer&)> allocator) {
        storeAllocator_ = std::move(allocator);
    }

  protected:
    // Closing the window (Exit, Esc, Enter, the close button) asks Save / Discard /
    // Cancel while the buffer holds unsaved changes. During a device command it
    // abandons the operation: without such changes the program ends at once and shows
    // nothing more; with them the question comes once the operation has stopped.
    void done(int result) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createMenu();
    void createToolBar();
    void createControls();
    void placeControls();
    // The chip panel grows below its template height until every line it holds shows.
    void fitChipPanel();
    // The title: the file or chip the buffer came from, "*" while it has unsaved changes.
    void updateTitle();
    // The question on closing with unsaved changes; true when the window may close.
    bool confirmClose();
    void runHandler(unsigned id);
    // After an Open, Save, Read or Write: the buffer matches `name` (file or chip).
    void bufferMatches(const QString& name);
    void setPicture(int chipType);
    // Start-up steps that belong to the device link and the programmer.
    void openDeviceAtStartUp();
    // The guide's HTML in a window of its own (the box when that is missing too).
    void showUserGuideWindow();

    const Language language_;
    const Texts& texts_;

    // Long-lived objects, in the order they are built.
    ChipDatabase chipDatabase_;
    ChipInfo currentChip_{};
    DataBuffer buffer_;
    HexViewModel hexModel_{buffer_};
    // Undo/Redo over the buffer's changes, and the caret that edits bytes.
    EditHistory history_;
    HexEditor editor_{buffer_, hexModel_, history_};
    // Find's last search: the text as typed, its kind and the bytes it stands for.
    struct LastFind {
        QString text;
        bool hex = true;
        bool matchCase = false; // text only
        std::vector<uint8_t> pattern;
        std::optional<uint32_t> foundAt;
    };
    LastFind lastFind_;
    // Searches the bytes the caret can reach for lastFind_ from the caret; shows the
    // result in the status line. False when nothing was found.
    bool findFromCaret(SearchDirection direction);
    // The device link and the programmer. The link comes second so that it is destroyed
    // first: it stops any transfer still filling the programmer's buffer.
    Programmer programmer_;
    UsbLink usbLink_;
    // The window's side of the device commands (MainDlgDeviceCommands.cpp).
    class DeviceHost final : public OperationHost {
      public:
        explicit DeviceHost(CMainDlg& window) : window_(window) {}
        void setStatusText(const char* text) override;
        void showMessage(const std::string& text) override;
        void progress(Stage stage, uint64_t done, uint64_t total) override;
        void pumpOneMessage() override;
        void refreshHexView() override;
        void identifiedChipChanged() override;
        bool confirm(const std::string& warning) override;
        int chooseChip(const std::vector<ChipInfo>& chips) override;
        bool confirmClearProtection(const std::string& text) override;
        bool confirmSupplyVoltage(const std::string& text) override;
        void offerNewChip(const ChipInfo& prefilled) override;
        // The percentage last pushed, which showProgress displays.
        uint16_t percent() const { return percent_; }

      private:
        CMainDlg& window_;
        uint16_t percent_ = 0;
    };
    DeviceHost deviceHost_{*this};
    DeviceOperations deviceOperations_{texts_,        deviceHost_,  usbLink_, programmer_,
                                       chipDatabase_, currentChip_, buffer_};
    // Over a bridge: the JEDEC ID and what SFDP said, below the chip's own lines.
    void showBridgeIdentity(const bridge::NorIdentity& identity);
    // Runs one device command; closing the window while it runs stops it.
    template <typename Command> void runDeviceCommand(Command command);
    std::stop_source deviceStop_;
    int deviceCommands_ = 0;
    std::optional<int> closeAfterCommand_; // a close that waits for the command to stop
    bool startedUp_ = false;
    QString documentName_;                                // the file or chip shown in the title
    std::map<std::string, std::string> firmwareVersions_; // by device path, once asked

    // Controls.
    QMenuBar* menuBar_ = nullptr;
    QMenu* programmerMenu_ = nullptr;
    QMenu* spiClockMenu_ = nullptr; // inside programmerMenu_, built once
    QToolBar* toolBar_ = nullptr;
    std::map<unsigned, QAction*> actions_;
    HexViewWidget* hexView_ = nullptr;
    QGroupBox* chipInfoGroup_ = nullptr;
    QTextEdit* chipInfoEdit_ = nullptr;
    QLabel* chipPicture_ = nullptr;
    QLineEdit* statusEdit_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLineEdit* percentEdit_ = nullptr;
    int shownPictureType_ = 0;
    int chipPanelGrowth_ = 0; // pixels the chip panel is taller than its template
    std::array<QImage, 4> pictures_;

    std::function<uint16_t()> progressSource_;
    QString userGuideFolder_;
    QString documentOpener_;
    std::function<bool(DataBuffer&)> storeAllocator_;
    int wheelRemainder_ = 0;
};
