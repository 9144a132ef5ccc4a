#include "DialogTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dialogs-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

RecordingSink::RecordingSink() : previous_(setMessageBoxSink(this)) {}
RecordingSink::~RecordingSink() {
    setMessageBoxSink(previous_);
}

BoxResult RecordingSink::show(BoxStyle style, std::string_view text) {
    boxes.emplace_back(style, std::string(text));
    return style == BoxStyle::OkCancel ? answer : BoxResult::Ok;
}

std::vector<std::string> RecordingSink::texts() const {
    std::vector<std::string> out;
    for (const auto& box : boxes)
        out.push_back(box.second);
    return out;
}

ChipInfo makeChip(const char* manufacturer, const char* name, ChipType type, uint32_t capacity) {
    ChipInfo chip{};
    chip.type = type;
    std::snprintf(chip.name, sizeof chip.name, "%s", name);
    std::snprintf(chip.manufacturer, sizeof chip.manufacturer, "%s", manufacturer);
    chip.minVoltage = 27;
    chip.maxVoltage = 36;
    chip.capacity = capacity;
    chip.programMode = 1;
    chip.pageSize = 256;
    chip.manufacturerId = 0xEF;
    chip.deviceId = 0x14;
    chip.memoryWidth = 8;
    if (type == ChipType::Eeprom93)
        chip.addressWidth = 7;
    return chip;
}

void writeDatabaseFile(const std::string& path, const std::vector<ChipInfo>& chips) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw std::runtime_error("cannot create " + path);
    char header[ChipDatabase::kHeaderSize] = {};
    std::fwrite(header, 1, sizeof header, file);
    std::fclose(file);
    auto database = std::make_unique<ChipDatabase>(Language::English, path);
    if (!database->load())
        throw std::runtime_error("empty database does not load");
    for (const ChipInfo& chip : chips)
        if (!database->addOrReplace(&chip))
            throw std::runtime_error("chip refused");
    if (!database->save())
        throw std::runtime_error("save failed");
}

std::vector<ChipInfo> chipsInFile(const std::string& path) {
    auto database = std::make_unique<ChipDatabase>(Language::English, path);
    std::vector<ChipInfo> chips;
    if (!database->load())
        return chips;
    std::vector<ManufacturerName> names(ChipDatabase::kMaxRecords);
    uint16_t count = database->listManufacturers(names.data(), names.size());
    std::vector<ChipInfo> found(1024);
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t n = database->find(found.data(), found.size(), names[i].data(), nullptr);
        chips.insert(chips.end(), found.begin(), found.begin() + n);
    }
    return chips;
}

bool fileHasChip(const std::string& path, const char* name, ChipInfo* out) {
    for (const ChipInfo& chip : chipsInFile(path))
        if (std::strncmp(chip.name, name, sizeof chip.name) == 0) {
            if (out)
                *out = chip;
            return true;
        }
    return false;
}

namespace {
bool actionRan = false;
QTimer* pendingWatch = nullptr;
} // namespace

void cancelModalWatch() {
    delete pendingWatch;
    pendingWatch = nullptr;
}

void onNextModalDialog(std::function<void(QWidget*)> action) {
    cancelModalWatch();
    actionRan = false;
    auto* timer = new QTimer;
    pendingWatch = timer;
    auto started = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, started, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            if (++*started > 500) { // give up after about five seconds
                timer->stop();
                pendingWatch = nullptr;
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        pendingWatch = nullptr;
        timer->deleteLater();
        action(modal);
        actionRan = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
            dialog->reject();
    });
    timer->start();
}

bool modalActionRan() {
    return actionRan;
}

std::string textOf(const QString& text) {
    return text.toStdString();
}

void doubleClick(QWidget* viewport, QPoint position) {
    QTest::mousePress(viewport, Qt::LeftButton, {}, position);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, position);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, position);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, position);
}
