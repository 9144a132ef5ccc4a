#include "app/MainDlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>

#include "app/ChipPictures.h"
#include "app/CommandIcons.h"
#include "app/CommandTable.h"
#include "app/HexViewWidget.h"
#include "protocol/StartUp.h"
#include "res/MessageBox.h"

namespace {

// The window keeps the proportions of its dialog template at 1.5 pixels per unit.
constexpr double kPixelsPerUnit = 1.5;
constexpr int kTemplateWidth = 472;
constexpr int kTemplateHeight = 354;
constexpr int kToolBandHeight = 36; // dialog units above the hex view
constexpr const char* kCommandProperty = "brimwickCommand";

int px(double units) {
    return static_cast<int>(units * kPixelsPerUnit + 0.5);
}

ChipDatabase makeDatabase(Language language, const std::optional<std::string>& path) {
    return path ? ChipDatabase(language, *path) : ChipDatabase(language);
}

} // namespace

CMainDlg::CMainDlg(Language language, std::optional<std::string> databasePath, QWidget* parent)
    : QDialog(parent), language_(language), texts_(textsFor(language)),
      chipDatabase_(makeDatabase(language, databasePath)) {
    setWindowTitle(QString::fromUtf8(texts_.windowTitle));
    setWindowIcon(applicationIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    for (int type = 0; type < 4; ++type)
        pictures_[static_cast<size_t>(type)] = chipPicture(type);
    createMenu();
    createToolBar();
    createControls();
    placeControls();
    resize(minimumSize());
    updateUndoCommands();
}

CMainDlg::~CMainDlg() {
    // A user guide opener still running ends with the window, without a box.
    for (QObject* child : children())
        if (auto* opener = qobject_cast<QProcess*>(child))
            opener->disconnect(this);
}

void CMainDlg::createMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setNativeMenuBar(false);
    for (const MenuPopup& popup : menuPopups()) {
        QMenu* menu = menuBar_->addMenu(QString::fromUtf8(texts_.*popup.title));
        for (const MenuEntry& entry : popup.entries) {
            if (entry.id == 0) {
                menu->addSeparator();
                continue;
            }
            auto* command = new QAction(QString::fromUtf8(texts_.*entry.text), this);
            command->setData(entry.id);
            command->setIcon(commandIcon(entry.id));
            command->setIconVisibleInMenu(false);
            if (const char* tip = toolTipFor(texts_, entry.id))
                command->setToolTip(QString::fromUtf8(tip));
            if (const char* keys = shortcutFor(entry.id))
                command->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(keys)));
            const unsigned id = entry.id;
            connect(command, &QAction::triggered, this, [this, id] { runCommand(id); });
            menu->addAction(command);
            actions_[entry.id] = command;
        }
        if (popup.title == &Texts::menuOperation) {
            // Which of several programmers the device commands use; filled when opened.
            menu->addSeparator();
            programmerMenu_ = menu->addMenu(QString::fromUtf8(texts_.menuProgrammer));
            programmerMenu_->menuAction()->setData(IdProgrammerMenu);
            connect(programmerMenu_, &QMenu::aboutToShow, this, &CMainDlg::listProgrammers);
        }
    }
}

void CMainDlg::createToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(24, 24));
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (const ToolSlot& slot : toolSlots()) {
        if (slot.id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* command = actions_.at(slot.id);
        command->setIconText(QString::fromUtf8(texts_.toolCaption[slot.caption]));
        toolBar_->addAction(command);
        QWidget* button = toolBar_->widgetForAction(command);
        button->setProperty(kCommandProperty, slot.id);
        button->setMinimumWidth(44);
        // Tooltips come from the build's own table (some buttons have none).
        button->installEventFilter(this);
    }
}

void CMainDlg::createControls() {
    hexView_ = new HexViewWidget(hexModel_, texts_, this);
    hexView_->setEditor(&editor_);
    connect(hexView_, &HexViewWidget::bytesEdited, this, &CMainDlg::updateUndoCommands);

    chipInfoGroup_ = new QGroupBox(QString::fromUtf8(texts_.chipInfoGroup), this);
    chipInfoEdit_ = new QTextEdit(this);
    chipInfoEdit_->setReadOnly(true);
    chipInfoEdit_->setAcceptRichText(false);
    chipInfoEdit_->setLineWrapMode(QTextEdit::WidgetWidth);
    chipInfoEdit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The panel grows to show every line (fitChipPanel), so it never needs to scroll.
    chipInfoEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipInfoEdit_->document()->setDocumentMargin(2);
    QFont infoFont = chipInfoEdit_->font();
    infoFont.setPixelSize(10);
    chipInfoEdit_->setFont(infoFont);

    chipPicture_ = new QLabel(this);
    chipPicture_->setAlignment(Qt::AlignCenter);
    // The picture starts as the 25 FLASH socket, before any chip is known.
    chipPicture_->setPixmap(QPixmap::fromImage(pictures_[0]));
    shownPictureType_ = 0;

    statusEdit_ = new QLineEdit(this);
    statusEdit_->setReadOnly(true);
    // Read-only boxes sit on the window's own colour, as plain text would.
    QPalette readOnly = statusEdit_->palette();
    readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
    statusEdit_->setPalette(readOnly);

    progressBar_ = new QProgressBar(this);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);

    percentEdit_ = new QLineEdit(this);
    percentEdit_->setReadOnly(true);
    percentEdit_->setFrame(false);
    percentEdit_->setPalette(readOnly);
    percentEdit_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont small = percentEdit_->font();
    small.setPixelSize(11);
    percentEdit_->setFont(small);
}

void CMainDlg::placeControls() {
    // The template's size is the starting and the smallest one. A taller window gives the
    // hex view more lines; the status line and the progress keep to the bottom.
    // A chip panel grown to show all its lines pushes what lies below it down by as much.
    const int top = menuBar_->sizeHint().height();
    const int grown = chipPanelGrowth_;
    const QSize least(px(kTemplateWidth), top + px(kTemplateHeight) + grown);
    setMinimumSize(least);
    const int dy = std::max(0, height() - least.height());
    auto unitRect = [top](double x, double y, double w, double h) {
        return QRect(px(x), top + px(y), px(w), px(h));
    };
    menuBar_->setGeometry(0, 0, width(), top);
    const int toolHeight = std::min(toolBar_->sizeHint().height(), px(kToolBandHeight));
    toolBar_->setGeometry(0, top, width(), toolHeight);
    hexView_->setGeometry(0, top + px(kToolBandHeight), hexView_->minimumWidth(),
                          hexView_->minimumHeight() + grown + dy);
    chipInfoGroup_->setGeometry(unitRect(342, 42, 104, 132).adjusted(0, 0, 0, grown));
    chipInfoEdit_->setGeometry(unitRect(348, 56, 93, 112).adjusted(0, 0, 0, grown));
    chipPicture_->setGeometry(
        QRect(px(340), top + px(181) + grown, kChipPictureWidth, kChipPictureHeight));
    statusEdit_->setGeometry(unitRect(343, 288, 114, 14).translated(0, grown + dy));
    progressBar_->setGeometry(unitRect(342, 305, 102, 24).translated(0, grown + dy));
    percentEdit_->setGeometry(unitRect(448, 313, 24, 12).translated(0, grown + dy));
}

void CMainDlg::fitChipPanel() {
    // Without a scroll bar the panel lays its lines out at its template width, whatever its height.
    QTextDocument* lines = chipInfoEdit_->document();
    const int frame = chipInfoEdit_->frameWidth();
    lines->setTextWidth(px(93) - 2 * frame);
    const int needed = static_cast<int>(std::ceil(lines->size().height())) + 2 * frame;
    const int growth = std::max(0, needed - px(112));
    if (growth == chipPanelGrowth_)
        return;
    chipPanelGrowth_ = growth;
    placeControls();
}

void CMainDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    placeControls();
}

void CMainDlg::updateTitle() {
    const QString title = QString::fromUtf8(texts_.windowTitle);
    setWindowTitle(
        (history_.modified() ? QStringLiteral("*") : QString()) +
        (documentName_.isEmpty() ? title : documentName_ + QStringLiteral(" - ") + title));
}

void CMainDlg::bufferMatches(const QString& name) {
    history_.markClean();
    documentName_ = name;
    updateTitle();
}

QAction* CMainDlg::action(unsigned id) const {
    auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

bool CMainDlg::OnInitDialog(const std::vector<std::string>& arguments) {
    StartUp startUp(chipDatabase_, currentChip_, buffer_);
    if (const StartUpOutcome loaded = startUp.loadDatabase(); loaded != StartUpOutcome::Ready) {
        messageBox(startUpMessage(loaded, texts_));
        for (const auto& [id, command] : actions_)
            if (!commandAllowed(id))
                enableCommand(id, false);
        return false;
    }

    if (startUp.selectDefaultChip())
        showChipInfo(currentChip_);
    hexModel_.topRow = 0;

    if (const StartUpOutcome stored = startUp.prepareStore(storeAllocator_);
        stored != StartUpOutcome::Ready) {
        messageBox(startUpMessage(stored, texts_));
        for (const auto& [id, command] : actions_)
            if (!commandAllowed(id))
                enableCommand(id, false);
        // Closes the window as soon as it runs.
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
        return false;
    }
    setUpHexView();
    refreshHexView();
    startedUp_ = true;

    openDeviceAtStartUp();

    std::string failure;
    if (arguments.size() == 1 && !loadDataFile(arguments[0], &failure))
        messageBox(failure);
    return true;
}

bool CMainDlg::commandAllowed(unsigned id) const {
    switch (id) {
    case IdFileExit:
    case IdHelpAbout:
    case IdHelpUserGuide:
    case IdFileAssociate:
        return true;
    default:
        // Everything else needs the buffer, the hex view or the loaded database.
        return startedUp_;
    }
}

void CMainDlg::runCommand(unsigned id) {
    if (!commandAllowed(id))
        return;
    runHandler(id);
    // A close chosen while a device command ran, with unsaved changes, asks now that
    // the command has stopped and its handler has put the buffer in order.
    if (deviceCommands_ == 0 && closeAfterCommand_) {
        const int result = *closeAfterCommand_;
        closeAfterCommand_.reset();
        done(result);
    }
}

void CMainDlg::runHandler(unsigned id) {
    switch (id) {
    case IdFileOpen:
        return OnFileOpen();
    case IdFileSave:
        return OnFileSave();
    case IdFileAssociate:
        return OnFileAssociate();
    case IdFileExit:
        return OnFileExit();
    case IdEditFill:
        return OnEditFill();
    case IdEditExchange:
        return OnEditExchange();
    case IdAuto:
        return OnAuto();
    case IdRead:
        return OnRead();
    case IdErase:
        return OnErase();
    case IdWrite:
        return OnWrite();
    case IdVerify:
        return OnVerify();
    case IdChipIdentify:
        return OnChipIdentify();
    case IdChipSelect:
        return OnChipSelect();
    case IdChipEdit:
        return OnChipEdit();
    case IdFirmwareVersion:
        return OnFirmwareVersion();
    case IdHelpAbout:
        return OnHelpAbout();
    case IdHelpUserGuide:
        return OnHelpUserGuide();
    case IdEditUndo:
        return OnEditUndo();
    case IdEditRedo:
        return OnEditRedo();
    case IdEditGoTo:
        return OnEditGoTo();
    case IdEditFind:
        return OnEditFind();
    case IdEditFindNext:
        return findAgain(SearchDirection::Forward);
    case IdEditFindPrevious:
        return findAgain(SearchDirection::Backward);
    case IdEditChecksum:
        return OnEditChecksum();
    case IdFileCompare:
        return OnFileCompare();
    case IdBlankCheck:
        return OnBlankCheck();
    default:
        return;
    }
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
    // Enter ends the program as OK does and Esc as Cancel does, wherever the focus is,
    // unless bytes are being edited: then either key only ends the edit.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (hexView_->editing())
            return hexView_->endEdit();
        accept();
        return;
    case Qt::Key_Escape:
        if (hexView_->editing())
            return hexView_->endEdit();
        reject();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CMainDlg::wheelEvent(QWheelEvent* event) {
    // The wheel anywhere over the window scrolls the hex view.
    wheelRemainder_ += event->angleDelta().y();
    const int notches = wheelRemainder_ / QWheelEvent::DefaultDeltasPerStep;
    wheelRemainder_ -= notches * QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0 && startedUp_)
        hexView_->onWheel(notches);
    event->accept();
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        QVariant command = watched->property(kCommandProperty);
        if (command.isValid()) {
            auto* help = static_cast<QHelpEvent*>(event);
            const char* tip = toolTipFor(texts_, command.toUInt());
            if (tip)
                QToolTip::showText(help->globalPos(), QString::fromUtf8(tip),
                                   static_cast<QWidget*>(watched));
            else
                QToolTip::hideText();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CMainDlg::pumpOneMessage() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
