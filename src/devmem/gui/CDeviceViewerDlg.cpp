#include "devmem/gui/CDeviceViewerDlg.h"

#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "common/gui/DialogText.h"
#include "devmem/PdmCsv.h"
#include "devmem/PdmDiff.h"
#include "devmem/PdmFile.h"
#include "devmem/gui/CDeviceGridCtrl.h"
#include "plc/DeviceArea.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace dlu {

namespace {

const QString kCsvFilter = QStringLiteral("CSV (*.csv)");
const QString kPdmFilter = QStringLiteral("PLC Device Files (*.PDM)");

QPushButton* button(QWidget* parent, const char* id, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(id));
    b->setAutoDefault(false);
    return b;
}

} // namespace

CDeviceViewerDlg::CDeviceViewerDlg(const DevmemGuiEnv& env, CpuType cpuType, PdmImage& image,
                                   QWidget* parent)
    : QDialog(parent), env_(env), image_(image), viewer_(cpuType, image) {
    setObjectName(QStringLiteral("376"));
    setWindowTitle(gui::layoutText(env.messages, "디바이스 메모리 보기(Word 형식)",
                                   "Device Memory View (Word Format)"));
    setModal(true);

    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("1200"));
    for (const auto& area : DeviceAreas::all()) {
        combo_->addItem(
            QString::fromUtf8(area.letter.data(), static_cast<qsizetype>(area.letter.size())));
    }
    model_ = new CDeviceGridModel(viewer_, env.messages, this);
    model_->outOfRange = [this] {
        env_.prompter.message(formatText(env_.messages(Msg::RangeError), 65535), PromptButtons::Ok,
                              PromptIcon::Warning);
    };
    grid_ = new CDeviceGridCtrl(this);
    grid_->setGridModel(model_);
    grid_->setMinimumSize(400, 420);
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("notice"));

    auto* applyButton = button(
        this, "1201", gui::layoutText(env.messages, "편집 데이터 적용(&P)", "A&pply Edited Data"));
    auto* clearAllButton =
        button(this, "1203", gui::layoutText(env.messages, "모두지우기(&A)", "Clear &All"));
    auto* clearButton = button(this, "1204", gui::layoutText(env.messages, "지우기(&E)", "Cl&ear"));
    auto* restoreButton =
        button(this, "1205", gui::layoutText(env.messages, "원래대로(&R)", "&Restore"));
    auto* exportButton = button(this, "export", qtext(env.messages, Msg::ExportCsv));
    auto* importButton = button(this, "import", qtext(env.messages, Msg::ImportCsv));
    auto* compareButton = button(this, "compare", qtext(env.messages, Msg::CompareWithFile));
    auto* closeButton = button(this, "2", qtext(env.messages, Msg::CloseButton));

    auto* side = new QVBoxLayout;
    side->addWidget(combo_);
    for (auto* b : {applyButton, clearAllButton, clearButton, restoreButton}) {
        side->addWidget(b);
    }
    side->addSpacing(12);
    for (auto* b : {exportButton, importButton, compareButton}) {
        side->addWidget(b);
    }
    side->addStretch(1);
    side->addWidget(closeButton);
    auto* top = new QHBoxLayout;
    top->addWidget(grid_, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(notice_);

    connect(combo_, &QComboBox::currentIndexChanged, this, [this](int i) { selectArea(i); });
    connect(applyButton, &QPushButton::clicked, this, &CDeviceViewerDlg::apply);
    connect(clearAllButton, &QPushButton::clicked, this, &CDeviceViewerDlg::clearAll);
    connect(clearButton, &QPushButton::clicked, this, &CDeviceViewerDlg::clearArea);
    connect(restoreButton, &QPushButton::clicked, this, &CDeviceViewerDlg::restore);
    connect(exportButton, &QPushButton::clicked, this, &CDeviceViewerDlg::exportCsv);
    connect(importButton, &QPushButton::clicked, this, &CDeviceViewerDlg::importCsv);
    connect(compareButton, &QPushButton::clicked, this, &CDeviceViewerDlg::compare);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

    combo_->setCurrentIndex(0);
    selectArea(0);
}

CDeviceViewerDlg::~CDeviceViewerDlg() = default;

void CDeviceViewerDlg::selectArea(int area) {
    if (area < 0 || area >= DeviceAreas::kCount) {
        return;
    }
    if (combo_->currentIndex() != area) {
        combo_->setCurrentIndex(area); // comes back here through the signal
        return;
    }
    viewer_.selectArea(area);
    model_->refill();
}

bool CDeviceViewerDlg::ask(int koreanId) {
    return env_.prompter.message(env_.messages(koreanId), PromptButtons::YesNo,
                                 PromptIcon::Question) == PromptAnswer::Yes;
}

void CDeviceViewerDlg::apply() { viewer_.apply(image_); }

void CDeviceViewerDlg::clearAll() {
    if (ask(Msg::ViewerAskClearAll)) {
        viewer_.clearAll();
        model_->refill();
    }
}

void CDeviceViewerDlg::clearArea() {
    if (ask(Msg::ViewerAskClearArea)) {
        viewer_.clearArea();
        model_->refill();
    }
}

void CDeviceViewerDlg::restore() {
    if (ask(Msg::ViewerAskRestore)) {
        viewer_.restore(image_);
        model_->refill();
    }
}

void CDeviceViewerDlg::exportCsv() {
    const int area = viewer_.area();
    const QString letter = combo_->currentText();
    const QString path = env_.askFile(this, DevmemGuiEnv::FileDialog::Save, QDir::homePath(),
                                      letter + QStringLiteral(".csv"), kCsvFilter);
    if (path.isEmpty() || refusedSaveTarget(env_, path)) {
        return;
    }
    // Every word the grid shows for the area.
    PdmImage shown = viewer_.working();
    shown.setMask(static_cast<std::uint16_t>(1u << area));
    shown.setRange(area, {0, static_cast<std::uint16_t>(viewer_.rowCount())});
    const std::string text = PdmCsv::write(shown, area);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !out.commit()) {
        env_.prompter.message(env_.messages(Msg::SaveFailed), PromptButtons::Ok,
                              PromptIcon::Warning);
    }
}

void CDeviceViewerDlg::importCsv() {
    const QString path =
        env_.askFile(this, DevmemGuiEnv::FileDialog::Open, QDir::homePath(), {}, kCsvFilter);
    if (path.isEmpty()) {
        return;
    }
    const auto imported = PdmCsv::readFile(path.toStdString(), viewer_.cpuType());
    if (!imported.ok) {
        const std::string where =
            imported.line > 0 ? formatText("%zu: ", imported.line) : std::string();
        env_.prompter.message(formatText(env_.messages(Msg::CsvNotImported),
                                         displaySafe(where + imported.error).c_str()),
                              PromptButtons::Ok, PromptIcon::Warning);
        return;
    }
    // The rows' words replace those of the working copy; everything else stays. Apply makes
    // them the image's.
    viewer_.take(imported.image);
    model_->refill();
}

void CDeviceViewerDlg::compare() {
    const QString path =
        env_.askFile(this, DevmemGuiEnv::FileDialog::Open, QDir::homePath(), {}, kPdmFilter);
    if (path.isEmpty()) {
        model_->setComparison(std::nullopt);
        notice_->clear();
        return;
    }
    PdmImage other;
    if (PdmFile::load(path.toStdString(), other) != PdmFile::LoadResult::Loaded) {
        env_.prompter.message(env_.messages(Msg::FileDamaged), PromptButtons::Ok,
                              PromptIcon::Warning);
        return;
    }
    const auto diffs = PdmDiff::compare(viewer_.working(), other);
    notice_->setText(QString::fromStdString(
        formatText(env_.messages(Msg::WordsDiffer), static_cast<int>(diffs.size()))));
    model_->setComparison(std::move(other));
}

} // namespace dlu
