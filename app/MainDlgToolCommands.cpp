// The buffer tools of the Edit and File menus: Undo, Redo, Go To Address, Find,
// Checksum and Compare with File. The work is the buffer core's; the window asks,
// moves the caret and shows the results.
#include <QFileDialog>
#include <QFileInfo>
#include <QTableView>

#include "app/HexViewWidget.h"
#include "app/MainDlg.h"
#include "app/NameFilters.h"
#include "buffer/ByteCompare.h"
#include "buffer/Checksums.h"
#include "buffer/DataFiles.h"
#include "buffer/ToolReports.h"
#include "dialogs/FindDlg.h"
#include "dialogs/GoToDlg.h"
#include "dialogs/ReportDlg.h"
#include "res/MessageBox.h"

namespace {
// The chip's bytes of the buffer: what Write programs and Save writes.
std::span<const uint8_t> chipBytes(const DataBuffer& buffer, uint32_t capacity) {
    return buffer.range(0, capacity);
}
} // namespace

void CMainDlg::updateUndoCommands() {
    enableCommand(IdEditUndo, startedUp_ && history_.canUndo());
    enableCommand(IdEditRedo, startedUp_ && history_.canRedo());
    // Every change of the buffer passes here: the title's "*" follows.
    updateTitle();
}

void CMainDlg::OnEditUndo() {
    if (const std::optional<ByteRange> changed = editor_.undo())
        hexView_->reveal(changed->offset);
    else
        refreshHexView();
    updateUndoCommands();
}

void CMainDlg::OnEditRedo() {
    if (const std::optional<ByteRange> changed = editor_.redo())
        hexView_->reveal(changed->offset);
    else
        refreshHexView();
    updateUndoCommands();
}

void CMainDlg::OnEditGoTo() {
    GoToDlg dialog(texts_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const uint32_t address = dialog.address();
    const CaretColumn column = editor_.caret() ? editor_.caret()->column : CaretColumn::Hex;
    if (!editor_.place(address, column)) {
        messageBox(texts_.goToOutOfRange);
        return;
    }
    hexView_->reveal(address, true);
    hexView_->list()->setFocus();
}

void CMainDlg::OnEditFind() {
    FindDlg dialog(texts_, lastFind_.text, lastFind_.hex, lastFind_.matchCase, this);
    connect(&dialog, &FindDlg::findRequested, this, [this, &dialog](SearchDirection direction) {
        const QString text = dialog.text();
        const QByteArray typed = dialog.hex() ? text.toLatin1() : text.toUtf8();
        std::vector<uint8_t> pattern(typed.begin(), typed.end());
        if (dialog.hex()) {
            const auto bytes = parseHexBytes(
                std::string_view(typed.constData(), static_cast<size_t>(typed.size())));
            if (!bytes || text.size() != typed.size()) {
                messageBox(texts_.findHexError);
                return;
            }
            pattern = *bytes;
        }
        if (pattern.empty())
            return;
        if (text != lastFind_.text || dialog.hex() != lastFind_.hex)
            lastFind_.foundAt.reset();
        lastFind_.text = text;
        lastFind_.hex = dialog.hex();
        lastFind_.matchCase = dialog.matchCase();
        lastFind_.pattern = std::move(pattern);
        findFromCaret(direction);
    });
    dialog.exec();
    if (editor_.editing())
        hexView_->list()->setFocus();
}

void CMainDlg::findAgain(SearchDirection direction) {
    if (lastFind_.pattern.empty())
        return OnEditFind();
    findFromCaret(direction);
}

bool CMainDlg::findFromCaret(SearchDirection direction) {
    const std::span<const uint8_t> bytes = buffer_.range(0, editor_.editableBytes());
    // From the caret; a caret still on the last match searches on from the next byte.
    const std::optional<Caret>& caret = editor_.caret();
    const bool onMatch = caret && lastFind_.foundAt == caret->offset;
    uint32_t from = 0;
    if (direction == SearchDirection::Forward)
        from = caret ? caret->offset + (onMatch ? 1 : 0) : 0;
    else if (caret && !(onMatch && caret->offset == 0))
        from = caret->offset - (onMatch ? 1 : 0);
    else
        from = UINT32_MAX; // from the end
    const LetterCase letterCase =
        lastFind_.hex || lastFind_.matchCase ? LetterCase::Match : LetterCase::Ignore;
    const std::optional<uint32_t> found =
        findBytes(bytes, lastFind_.pattern, from, direction, letterCase);
    if (!found) {
        lastFind_.foundAt.reset();
        hexView_->setMatch(std::nullopt);
        setStatusText(texts_.findNotFound);
        return false;
    }
    // Backwards from a match at offset 0 the search starts over at the end.
    const bool wrapped = searchWrapped(*found, from, direction) ||
                         (direction == SearchDirection::Backward && from == UINT32_MAX && caret);
    editor_.place(*found, lastFind_.hex ? CaretColumn::Hex : CaretColumn::Ascii);
    lastFind_.foundAt = *found;
    hexView_->setMatch(ByteRange{*found, static_cast<uint32_t>(lastFind_.pattern.size())});
    hexView_->reveal(*found, true);
    const char* note = !wrapped                                ? texts_.findFound
                       : direction == SearchDirection::Forward ? texts_.findWrappedToStart
                                                               : texts_.findWrappedToEnd;
    setStatusText(formatText(note, static_cast<unsigned>(*found)));
    return true;
}

void CMainDlg::OnEditChecksum() {
    const Checksums sums = checksumsOf(chipBytes(buffer_, currentChip_.capacity));
    ReportDlg box(texts_, texts_.checksumTitle, checksumReport(sums, texts_), this);
    box.exec();
}

void CMainDlg::OnFileCompare() {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The files File > Open reads.
    dialog.setNameFilters(nameFilters(texts_.openFilter) + nameFilters(texts_.openFilterMore));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString chosen = dialog.selectedFiles().constFirst();
    // The file goes through File > Open's loader, into a buffer of its own.
    DataBuffer file;
    if (!file.allocate()) {
        messageBox(texts_.memoryNotEnough);
        return;
    }
    std::string failure;
    if (!::loadDataFile(file, currentChip_.capacity, QFile::encodeName(chosen).toStdString(),
                        texts_, &failure)) {
        messageBox(failure);
        return;
    }
    const ByteComparison comparison = compareBytes(chipBytes(buffer_, currentChip_.capacity),
                                                   chipBytes(file, currentChip_.capacity));
    ReportDlg box(texts_, texts_.compareTitle,
                  compareReport(comparison, QFileInfo(chosen).fileName().toStdString(), texts_),
                  this);
    box.exec();
}
