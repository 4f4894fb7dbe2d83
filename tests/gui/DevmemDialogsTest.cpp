// The device memory windows, offscreen, against the in-process simulator: the job that the
// program runs on its session thread runs here at once.
#include "common/MessageIds.h"
#include "common/OperationRecord.h"
#include "devmem/DeviceTransferPlan.h"
#include "devmem/PdmFile.h"
#include "devmem/gui/CCpuTypeDialog.h"
#include "devmem/gui/CDeviceGridCtrl.h"
#include "devmem/gui/CDeviceMemorySetDlg.h"
#include "devmem/gui/CDeviceProgressDlg.h"
#include "devmem/gui/CDeviceViewerDlg.h"
#include "devmem/gui/CLinuxCpuTypeDialog.h"
#include "devmem/gui/CLinuxDeviceMemorySetDlg.h"
#include "devmem/gui/DeviceMemoryOpener.h"
#include "plc/DeviceArea.h"

#include "DevmemRig.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include <sys/stat.h>

namespace dlu {
namespace {

using test::TempFolder;
using Rig = test::DevmemRig<>;
namespace fs = std::filesystem;

constexpr int kD = static_cast<int>(AreaIndex::D);
constexpr CpuType kA21 = 26;

// Saves a device memory file holding D words 0 to `end` (each from `word`, else 0).
void saveD(const fs::path& file, std::uint16_t end,
           const std::function<std::uint16_t(std::uint32_t)>& word = {}) {
    PdmImage image;
    image.setFlag(1);
    image.setMask(1u << kD);
    image.setRange(kD, {0, end});
    for (std::uint32_t w = 0; word && w < end; ++w) {
        image.setWord(kD, w, word(w));
    }
    ASSERT_EQ(PdmFile::save(file, image), PdmFile::SaveResult::Saved);
}

// Keeps the operations the windows hand in.
struct Journal final : OperationJournal {
    void begin() override { ++begun; }
    void end(OperationRecord record) override { ended.push_back(std::move(record)); }
    int begun = 0;
    std::vector<OperationRecord> ended;
};

// The windows' surroundings over one simulator; file dialogs answer from `files`.
struct Gui {
    explicit Gui(Rig& r, bool connect = true) : rig(r) {
        if (connect) {
            EXPECT_TRUE(rig.connect(kA21));
        }
        env.journal = &journal;
        env.chooseFile = [this](QWidget*, DevmemGuiEnv::FileDialog, const QString&, const QString&,
                                const QString&) {
            if (files.empty()) {
                return QString();
            }
            QString f = files.front();
            files.erase(files.begin());
            return f;
        };
    }
    Rig& rig;
    Journal journal;
    DevmemGuiEnv env{rig.prompter,
                     rig.messages,
                     rig.clock,
                     [this](SessionJob job) { return job(rig.session); },
                     {}};
    std::vector<QString> files;
};

template <typename W> W* child(QWidget* parent, const char* id) {
    auto* w = parent->findChild<W*>(QString::fromLatin1(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
}

void setRange(QWidget* dlg, int area, std::uint32_t start, std::uint32_t end) {
    const DeviceArea& a = DeviceAreas::at(area);
    auto* s = dlg->findChild<QLineEdit*>(QString::number(a.startEditId));
    auto* e = dlg->findChild<QLineEdit*>(QString::number(a.endEditId));
    s->setText(QString::number(start));
    e->setText(QString::number(end));
    emit e->editingFinished();
}

QPushButton* areaButton(QWidget* dlg, int area) {
    return dlg->findChild<QPushButton*>(QString::number(DeviceAreas::at(area).buttonId));
}

// Types `text` into a cell as a user does: the key opens the editor, Enter ends it.
void typeInto(CDeviceGridCtrl* grid, int row, int column, const QString& text) {
    grid->setCurrentIndex(grid->model()->index(row, column));
    QTest::keyClick(grid, text.at(0).toLatin1());
    auto* editor = grid->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, text.mid(1));
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits and closes the editor from the event loop.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString cell(CDeviceGridCtrl* grid, int row, int column) {
    return grid->model()->index(row, column).data().toString();
}

// Presses Cancel in the progress window once it shows; notes then which of `owner`'s own
// controls (buttons, check boxes, edits) still take input.
std::shared_ptr<bool> cancelWhenShown(QWidget* owner = nullptr,
                                      std::vector<std::string>* usable = nullptr) {
    auto pressed = std::make_shared<bool>(false);
    QTimer::singleShot(0, [pressed, owner, usable] {
        for (auto* w : QApplication::topLevelWidgets()) {
            if (auto* p = qobject_cast<CDeviceProgressDlg*>(w); p && p->isVisible()) {
                if (owner != nullptr && usable != nullptr) {
                    for (auto* c : owner->findChildren<QWidget*>()) {
                        if (c->window() == owner && c->isEnabled() &&
                            (qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c))) {
                            usable->push_back(c->objectName().toStdString());
                        }
                    }
                }
                p->findChild<QPushButton*>(QStringLiteral("cancel"))->click();
                *pressed = true;
            }
        }
    });
    return pressed;
}

TEST(DevmemDialogs, BackupViewEditApplySaveAndRestoreIntoAFreshPlc) {
    TempFolder dir;
    Rig source;
    source.plc.fillDeviceMemory(7);
    Gui gui(source);
    CDeviceMemorySetDlg backup(gui.env, DeviceMemoryMode::Backup, kA21,
                               QString::fromStdString(dir.path().string() + "/"), {});
    // Opening: Default (M, L, K, D) and the default name, but no file: one exists only once a
    // backup has written it.
    const fs::path opened = backup.transfer().file();
    EXPECT_EQ(opened.parent_path(), dir.path());
    EXPECT_FALSE(fs::exists(opened));
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_FALSE(child<QPushButton>(&backup, "1131")->isEnabled());

    // D 0 to 250 only, saved under a name of our own ("File Name Error" for a bare extension).
    for (const auto area : {AreaIndex::M, AreaIndex::L, AreaIndex::K}) {
        areaButton(&backup, static_cast<int>(area))->click();
    }
    setRange(&backup, kD, 0, 250);
    const QString file = QString::fromStdString((dir.path() / "plant.PDM").string());
    gui.files = {QString::fromStdString((dir.path() / ".PDM").string()), file};
    child<QPushButton>(&backup, "1100")->click();
    EXPECT_EQ(backup.fileText(), file);
    child<QPushButton>(&backup, "1126")->click();
    EXPECT_EQ(source.shown(),
              (std::vector<std::string>{"File Name Error", "Data saving completed"}));
    EXPECT_EQ(backup.notice(), "After uploading a file is saved automatically.");
    ASSERT_TRUE(child<QPushButton>(&backup, "1131")->isEnabled());
    // The backup's record: the file it wrote, the 250 words read, the PLC, the last message.
    ASSERT_EQ(gui.journal.ended.size(), 1u);
    EXPECT_EQ(gui.journal.begun, 1);
    {
        const OperationRecord& r = gui.journal.ended[0];
        EXPECT_EQ(r.operation, "backup");
        EXPECT_EQ(r.result, OperationResult::Ok);
        EXPECT_EQ(r.filePath, file.toStdString());
        EXPECT_EQ(r.bytes, 500u);
        EXPECT_EQ(r.plcLabel, "A-21");
        EXPECT_TRUE(r.plcCpuCode.has_value());
    }

    // View, edit word 5 in DEC and word 6 in HEX, apply, save.
    const PdmImage plcWords = source.plc.deviceMemory();
    backup.viewerOpened = [&](CDeviceViewerDlg& viewer) {
        child<QComboBox>(&viewer, "1200")->setCurrentIndex(kD);
        auto* grid = viewer.grid();
        EXPECT_EQ(grid->model()->rowCount(), 32000);
        EXPECT_EQ(cell(grid, 0, 0), "01");
        EXPECT_EQ(cell(grid, 249, 1), "D00249");
        EXPECT_EQ(cell(grid, 249, 3), QString::number(plcWords.word(kD, 249)));
        EXPECT_EQ(cell(grid, 250, 3), "0");
        typeInto(grid, 5, 3, "1234");
        typeInto(grid, 6, 4, "h1f");
        EXPECT_EQ(cell(grid, 5, 4), "H04D2");
        EXPECT_EQ(cell(grid, 6, 3), "31");
        EXPECT_EQ(backup.transfer().image().word(kD, 5), plcWords.word(kD, 5)); // not yet
        child<QPushButton>(&viewer, "1201")->click();
    };
    child<QPushButton>(&backup, "1131")->click();
    EXPECT_EQ(backup.transfer().image().word(kD, 5), 1234);
    child<QPushButton>(&backup, "1132")->click();

    // Restore into a fresh PLC: exactly words 0 to 249 of D, with the two edits.
    Rig target;
    Gui gui2(target);
    CDeviceMemorySetDlg restore(gui2.env, DeviceMemoryMode::Restore, kA21,
                                QString::fromStdString(dir.path().string() + "/"), {});
    gui2.files = {file};
    child<QPushButton>(&restore, "1100")->click();
    EXPECT_TRUE(areaButton(&restore, kD)->isChecked());
    child<QPushButton>(&restore, "1126")->click();
    const PdmImage written = target.plc.deviceMemory();
    for (std::uint32_t w = 0; w < 260; ++w) {
        const std::uint16_t expected = w == 5    ? 1234
                                       : w == 6  ? 31
                                       : w < 250 ? plcWords.word(kD, w)
                                                 : 0;
        ASSERT_EQ(written.word(kD, w), expected) << w;
    }
    ASSERT_EQ(gui2.journal.ended.size(), 1u);
    EXPECT_EQ(gui2.journal.ended[0].operation, "restore");
    EXPECT_EQ(gui2.journal.ended[0].result, OperationResult::Ok);
    EXPECT_EQ(gui2.journal.ended[0].filePath, file.toStdString());
    EXPECT_EQ(gui2.journal.ended[0].bytes, 500u);
}

TEST(DevmemDialogs, RestoreRestrictionsOfCpuTypes10And26) {
    struct Case {
        CpuType cpu;
        std::vector<AreaIndex> writable;
    };
    using A = AreaIndex;
    const Case cases[] = {
        {26, {A::X, A::Y, A::M, A::L, A::K, A::D, A::TC, A::TS, A::CC, A::CS}},
        {10, {A::X, A::Y, A::M, A::L, A::K, A::D, A::TC, A::CC}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.plc.fillDeviceMemory(1);
        Gui gui(rig, false); // nothing reaches the PLC
        TempFolder dir;
        CDeviceMemorySetDlg dlg(gui.env, DeviceMemoryMode::Restore, c.cpu,
                                QString::fromStdString(dir.path().string() + "/"), {});
        EXPECT_EQ(dlg.fileText(), ""); // no file under a name made from the time
        rig.prompter.answer(PromptAnswer::Yes);
        child<QPushButton>(&dlg, "1130")->click(); // set maximum
        for (int i = 0; i < DeviceAreas::kCount; ++i) {
            const bool writable = std::find(c.writable.begin(), c.writable.end(),
                                            static_cast<A>(i)) != c.writable.end();
            EXPECT_EQ(areaButton(&dlg, i)->isEnabled(), writable) << c.cpu << " " << i;
            EXPECT_EQ(areaButton(&dlg, i)->isChecked(), writable) << c.cpu << " " << i;
            areaButton(&dlg, i)->click(); // a disabled button ignores the click
        }
        // Nothing loaded: the restore refuses with 566 before it asks for a connection.
        rig.prompter.clear();
        int sessions = 0;
        gui.env.runSession = [&](SessionJob job) {
            ++sessions;
            return job(rig.session);
        };
        child<QPushButton>(&dlg, "1126")->click();
        EXPECT_EQ(rig.shown(),
                  (std::vector<std::string>{"Device memory file does not exist.\nPlease check."}));
        EXPECT_EQ(sessions, 0);
        EXPECT_TRUE(rig.requests('W').empty());
    }
}

TEST(DevmemDialogs, ViewerRefusesBadEntriesAndPastesDownTheColumn) {
    Rig rig;
    Gui gui(rig);
    PdmImage image;
    image.setFlag(1);
    image.setWord(kD, 2, 77);
    CDeviceViewerDlg viewer(gui.env, kA21, image);
    viewer.selectArea(kD);
    auto* grid = viewer.grid();
    struct Entry {
        int column;
        QString text;
        QString dec; // the row's DEC afterwards
        bool rangeMessage;
    };
    const Entry entries[] = {
        {3, "65536", "77", true}, {3, "abc", "77", false},    {4, "XYZ", "77", false},
        {4, "H0", "77", false},   {4, "H12345", "77", false}, {4, "FF", "255", false},
        {3, "0", "0", false},
    };
    for (const auto& e : entries) {
        rig.prompter.clear();
        typeInto(grid, 2, e.column, e.text);
        EXPECT_EQ(cell(grid, 2, 3), e.dec) << e.text.toStdString();
        EXPECT_EQ(rig.shown().size(), e.rangeMessage ? 1u : 0u) << e.text.toStdString();
    }
    // A double click opens no editor; the name columns take no edit.
    const QModelIndex dec = grid->model()->index(3, 3);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(dec).center());
    EXPECT_EQ(grid->findChild<QLineEdit*>(), nullptr);
    EXPECT_FALSE(grid->model()->flags(grid->model()->index(3, 1)) & Qt::ItemIsEditable);

    // Three lines pasted into HEX from row 10: one bad piece is skipped, the rest stored.
    QApplication::clipboard()->setText(QStringLiteral("1A\nzz\nh0102"));
    grid->setCurrentIndex(grid->model()->index(10, 4));
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(grid, 10, 3), "26");
    EXPECT_EQ(cell(grid, 11, 3), "0");
    EXPECT_EQ(cell(grid, 12, 4), "H0102");
    EXPECT_EQ(viewer.viewer().working().word(kD, 12), 0x0102);
    EXPECT_EQ(image.word(kD, 10), 0); // until applied
}

// The viewer's file buttons: Export writes the area's words as CSV, Import takes a CSV's
// words into the grid, Compare counts the words that differ from a backup.
TEST(DevmemDialogs, ViewerExportsImportsAndCompares) {
    TempFolder dir;
    Rig rig;
    Gui gui(rig, /*connect=*/false);
    PdmImage image;
    image.setFlag(1);
    image.setWord(kD, 2, 77);
    image.setWord(kD, 31999, 0xBEEF);
    CDeviceViewerDlg viewer(gui.env, kA21, image);
    viewer.selectArea(kD);
    auto* grid = viewer.grid();

    const fs::path exported = dir.path() / "D.csv";
    gui.files = {QString::fromStdString(exported.string())};
    child<QPushButton>(&viewer, "export")->click();
    ASSERT_TRUE(fs::exists(exported)) << "Export wrote no file";
    std::ifstream in(exported);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 32001u);
    EXPECT_EQ(lines[0], "area,address,dec,hex");
    EXPECT_EQ(lines[1], "D,0,0,H0000");
    EXPECT_EQ(lines[3], "D,2,77,H004D");
    EXPECT_EQ(lines[32000], "D,31999,48879,HBEEF");
    EXPECT_TRUE(rig.shown().empty());

    const fs::path edited = dir.path() / "edited.csv";
    std::ofstream(edited) << "area,address,dec,hex\nD,2,0,H0000\nD,3,0,\nD,4,0,\nD,5,0,\n"
                             "D,6,,H0000\nD,7,4660,H1234\n";
    gui.files = {QString::fromStdString(edited.string())};
    child<QPushButton>(&viewer, "import")->click();
    EXPECT_EQ(cell(grid, 7, 3), "4660");
    EXPECT_EQ(cell(grid, 2, 3), "0");
    EXPECT_EQ(cell(grid, 31999, 3), "48879") << "rows the CSV does not name stay";

    // The backup holds every word as zero: the working copy differs at words 7 and 31999
    // (word 2 was set back to zero by the import).
    const fs::path backup = dir.path() / "backup.PDM";
    saveD(backup, 1000);
    gui.files = {QString::fromStdString(backup.string())};
    child<QPushButton>(&viewer, "compare")->click();
    EXPECT_EQ(child<QLabel>(&viewer, "notice")->text(), "2 words differ from the chosen file.");
    EXPECT_TRUE(rig.shown().empty());
}

// Cancel pressed in the progress window as soon as it shows.
TEST(DevmemDialogs, CancelStopsABackupAtOnceAndARestoreOnlyWhenConfirmed) {
    using R = DeviceMemoryTransfer::Result;
    struct Case {
        DeviceMemoryMode mode;
        std::optional<PromptAnswer> answer; // to "Stop the restore?"
        R result;
        std::size_t writes;
        std::vector<std::string> shown;
    };
    const std::string ask = "Stop the restore?\nWords already written stay in the PLC.";
    const Case cases[] = {
        {DeviceMemoryMode::Backup,
         std::nullopt,
         R::Cancelled,
         0,
         {"The backup was cancelled.\nThe file was not changed."}},
        {DeviceMemoryMode::Restore,
         PromptAnswer::No,
         R::Done,
         10,
         {ask, "Complete the download request.\nIf an error occurs, a message is displayed on "
               "the screen."}},
        {DeviceMemoryMode::Restore,
         PromptAnswer::Yes,
         R::Cancelled,
         0,
         {ask, "The restore was stopped.\nWords already written stay in the PLC."}},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        Rig rig;
        rig.plc.fillDeviceMemory(3);
        Gui gui(rig);
        // The previous backup, D 0 to 1000: what a restore sends and what a backup must keep.
        const fs::path file = dir.path() / "previous.PDM";
        saveD(file, 1000, [](std::uint32_t w) { return w == 0 ? 4242 : 0; });
        const auto before = test::readFile(file);

        CDeviceMemorySetDlg dlg(gui.env, c.mode, kA21,
                                QString::fromStdString(dir.path().string() + "/"), {});
        gui.files = {QString::fromStdString(file.string())};
        child<QPushButton>(&dlg, "1100")->click();
        rig.prompter.clear();
        if (c.answer) {
            rig.prompter.answer(*c.answer);
        }
        std::vector<std::string> usable;
        const auto pressed = cancelWhenShown(&dlg, &usable);
        const auto result = dlg.runTransfer();
        EXPECT_TRUE(*pressed);
        EXPECT_EQ(usable, std::vector<std::string>{}) << "the window takes no input meanwhile";
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(*result, c.result);
        EXPECT_EQ(rig.requests('W').size(), c.writes);
        if (c.mode == DeviceMemoryMode::Backup) {
            EXPECT_TRUE(rig.requests('R').empty());
        }
        EXPECT_TRUE(test::readFile(file) == before);
        EXPECT_EQ(rig.shown(), c.shown);
    }
}

// Over two areas of 200 words each (two chunks apiece) the window counts one total from the
// first chunk to the last, rather than starting again at 0 % with the second area.
TEST(DevmemDialogs, ProgressShowsOneTotalAcrossAllAreas) {
    TempFolder dir;
    const fs::path file = dir.path() / "two areas.PDM";
    const std::vector<QString> totals{"Total : 25 %", "Total : 50 %", "Total : 75 %",
                                      "Total : 100 %"};
    const std::vector<int> bars{25, 50, 75, 99};
    for (const auto mode : {DeviceMemoryMode::Backup, DeviceMemoryMode::Restore}) {
        Rig rig;
        rig.plc.fillDeviceMemory(5);
        Gui gui(rig);
        CDeviceMemorySetDlg dlg(gui.env, mode, kA21,
                                QString::fromStdString(dir.path().string() + "/"), {});
        gui.files = {QString::fromStdString(file.string())};
        child<QPushButton>(&dlg, "1100")->click();
        if (mode == DeviceMemoryMode::Backup) {
            // Default is M, L, K and D: keep M and D.
            for (const auto area : {AreaIndex::L, AreaIndex::K}) {
                areaButton(&dlg, static_cast<int>(area))->click();
            }
            setRange(&dlg, static_cast<int>(AreaIndex::M), 0, 200);
            setRange(&dlg, kD, 0, 200);
        }
        std::vector<QString> seenTotals;
        std::vector<int> seenBars;
        const auto run = gui.env.runSession;
        gui.env.runSession = [&](SessionJob job) {
            auto* progress = dlg.findChild<CDeviceProgressDlg*>();
            EXPECT_NE(progress, nullptr);
            if (progress != nullptr) {
                QObject::connect(progress, &CDeviceProgressDlg::shown, progress, [&, progress] {
                    seenTotals.push_back(progress->total());
                    seenBars.push_back(progress->bar());
                });
            }
            return run(std::move(job));
        };
        const auto result = dlg.runTransfer();
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(*result, DeviceMemoryTransfer::Result::Done);
        EXPECT_EQ(seenTotals, totals) << (mode == DeviceMemoryMode::Backup ? "backup" : "restore");
        EXPECT_EQ(seenBars, bars);
    }
}

bool hasHangul(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        const auto u = c.unicode();
        // Syllables, jamo and compatibility jamo.
        return (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0x1100 && u <= 0x11FF) ||
               (u >= 0x3130 && u <= 0x318F);
    });
}

// Every text a window shows, each with the control that shows it: the title, captions and
// labels, edits, list items, tool tips and the column headers and first rows of tables.
std::vector<std::pair<QString, QString>> visibleTexts(QWidget* window) {
    std::vector<std::pair<QString, QString>> texts{
        {QStringLiteral("title"), window->windowTitle()}};
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        if (w != window && !w->isVisibleTo(window)) {
            continue;
        }
        const QString at = w->metaObject()->className() + QStringLiteral(" ") + w->objectName();
        const auto add = [&](const QString& text) { texts.emplace_back(at, text); };
        add(w->toolTip());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            add(b->text());
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            add(l->text());
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            add(g->title());
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            add(e->text());
            add(e->placeholderText());
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < c->count(); ++i) {
                add(c->itemText(i));
            }
        } else if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
            const QAbstractItemModel* m = v->model();
            for (int col = 0; col < m->columnCount(); ++col) {
                add(m->headerData(col, Qt::Horizontal).toString());
                for (int row = 0; row < std::min(m->rowCount(), 20); ++row) {
                    add(m->index(row, col).data().toString());
                }
            }
        }
    }
    return texts;
}

// With the English interface no device memory window shows a Korean text anywhere.
TEST(DevmemDialogs, EnglishWindowsShowNoKoreanText) {
    TempFolder dir;
    Rig rig;
    ASSERT_EQ(rig.messages.language(), Language::English);
    Gui gui(rig);
    const QString folder = QString::fromStdString(dir.path().string() + "/");
    PdmImage image;
    image.setFlag(1);

    std::vector<std::pair<std::string, std::unique_ptr<QWidget>>> windows;
    windows.emplace_back("CPU type", std::make_unique<CCpuTypeDialog>(rig.messages, rig.prompter));
    windows.emplace_back("Linux CPU type",
                         std::make_unique<CLinuxCpuTypeDialog>(rig.messages, rig.prompter));
    for (const auto mode : {DeviceMemoryMode::Backup, DeviceMemoryMode::Restore}) {
        const std::string name = mode == DeviceMemoryMode::Backup ? " backup" : " restore";
        windows.emplace_back("device memory" + name, std::make_unique<CDeviceMemorySetDlg>(
                                                         gui.env, mode, kA21, folder, QString()));
        windows.emplace_back(
            "Linux device memory" + name,
            std::make_unique<CLinuxDeviceMemorySetDlg>(gui.env, mode, kA21, folder, QString()));
    }
    windows.emplace_back("viewer", std::make_unique<CDeviceViewerDlg>(gui.env, kA21, image));
    auto progress = std::make_unique<CDeviceProgressDlg>(nullptr, CDeviceProgressDlg::Kind::Backup,
                                                         rig.prompter, rig.messages);
    const DeviceChunk chunk = DeviceTransferPlan::chunk(static_cast<int>(AreaIndex::TC), {0, 150},
                                                        0, TransferDirection::Upload, rig.messages);
    progress->update({chunk.line1, chunk.line2, 50, 50, 50, 50, 0, 300});
    windows.emplace_back("progress", std::move(progress));

    for (const auto& [name, window] : windows) {
        const auto texts = visibleTexts(window.get());
        EXPECT_GT(texts.size(), 1u) << name;
        for (const auto& [at, text] : texts) {
            EXPECT_FALSE(hasHangul(text))
                << name << ": " << at.toStdString() << " shows \"" << text.toStdString() << "\"";
        }
    }
}

TEST(DevmemDialogs, LinuxBackupAndRestoreOfA500ByteImage) {
    TempFolder dir;
    sim::PlcConfig config;
    config.imageSize = 500;
    config.imageSeed = 9;
    Rig source(config);
    Gui gui(source);
    const QString file = QString::fromStdString((dir.path() / "image.BIN").string());
    CLinuxDeviceMemorySetDlg backup(gui.env, DeviceMemoryMode::Backup, kA21,
                                    QString::fromStdString(dir.path().string()), {});
    EXPECT_EQ(backup.windowTitle(), "Upload device memory(CPU->FIle)(Linux)");
    gui.files = {file};
    backup.start(); // the save-as dialog opens at once
    EXPECT_EQ(backup.fileText(), file);
    child<QPushButton>(&backup, "1133")->click();
    EXPECT_EQ(source.shown(), std::vector<std::string>{"Upload Success"});
    const auto image = test::readFile(file.toStdString());
    EXPECT_TRUE(image == source.plc.image());
    ASSERT_EQ(image.size(), 500u);

    Rig target;
    Gui gui2(target);
    CLinuxDeviceMemorySetDlg restore(gui2.env, DeviceMemoryMode::Restore, kA21,
                                     QString::fromStdString(dir.path().string()), {});
    gui2.files = {file};
    child<QPushButton>(&restore, "1135")->click();
    target.prompter.answer(PromptAnswer::Yes);
    child<QPushButton>(&restore, "1133")->click();
    EXPECT_EQ(target.shown(),
              (std::vector<std::string>{
                  "Reading the file has been completed.",
                  "The file is 500 bytes; the PLC's image will be replaced. Continue?",
                  "Download Success"}));
    EXPECT_EQ(target.requests('D').size(), 3u); // 238 + 238 + 24 bytes
    EXPECT_TRUE(target.plc.image() == image);
    // One record each: the blocks and bytes that went over the link.
    for (const auto* j : {&gui.journal, &gui2.journal}) {
        ASSERT_EQ(j->ended.size(), 1u);
        EXPECT_EQ(j->ended[0].result, OperationResult::Ok);
        EXPECT_EQ(j->ended[0].filePath, file.toStdString());
        EXPECT_EQ(j->ended[0].items, 3u);
        EXPECT_EQ(j->ended[0].bytes, 500u);
    }
    EXPECT_EQ(gui.journal.ended[0].operation, "linux-backup");
    EXPECT_EQ(gui2.journal.ended[0].operation, "linux-restore");

    // A second backup of a changed image, cancelled: the file keeps the first one.
    source.plc.setImage(sim::PlcSimulator::imagePattern(500, 10));
    source.prompter.clear();
    std::vector<std::string> usable;
    const auto pressed = cancelWhenShown(&backup, &usable);
    const auto cancelled = backup.runTransfer();
    EXPECT_TRUE(*pressed);
    EXPECT_EQ(usable, std::vector<std::string>{}) << "the window takes no input meanwhile";
    ASSERT_TRUE(cancelled.has_value());
    EXPECT_EQ(cancelled->outcome, LinuxDeviceMemoryTransfer::Outcome::Cancelled);
    EXPECT_TRUE(test::readFile(file.toStdString()) == image);
    EXPECT_EQ(source.shown(),
              std::vector<std::string>{"The backup was cancelled.\nThe file was not changed."});
    ASSERT_EQ(gui.journal.ended.size(), 2u);
    EXPECT_EQ(gui.journal.ended[1].result, OperationResult::Cancelled);
}

// "Verify after restore" reads back what the restore wrote: a write the PLC confirmed but
// dropped is named (clean Linux read-back: LinuxRestoreAsksBeforeReplacingTheImage).
TEST(DevmemDialogs, VerifyAfterRestoreCatchesADroppedWrite) {
    TempFolder dir;
    const fs::path pdm = dir.path() / "d.PDM";
    saveD(pdm, 250, [](std::uint32_t w) { return static_cast<std::uint16_t>(w * 7u + 1u); });
    const fs::path bin = dir.path() / "i.BIN";
    test::writeFile(bin, sim::PlcSimulator::imagePattern(500, 4));
    struct Case {
        bool linuxImage;
        std::uint64_t lost; // write request dropped, counted from the transfer's first; 0: none
        std::string report; // how the message starts
    };
    const Case cases[] = {
        {false, 0, "Verified 250 words"},
        // Request 1 is the opening read; 3 writes D100 to D199.
        {false, 3, "D00100 is 0 (0x0000) in the PLC but 701 (0x02BD) in the file\n"},
        // The last of three blocks: the PLC keeps its old image.
        {true, 3, "The PLC holds 40 bytes of image, the file 500 bytes."},
    };
    for (const auto& c : cases) {
        sim::PlcConfig config;
        config.imageSize = 40; // the file's first 40 bytes
        config.imageSeed = 4;
        Rig rig(config);
        Gui gui(rig);
        if (c.lost != 0) {
            rig.plc.faults().loseWrites.insert(rig.plc.requestCount() + c.lost);
        }
        std::unique_ptr<QDialog> dlg;
        if (c.linuxImage) {
            dlg = std::make_unique<CLinuxDeviceMemorySetDlg>(gui.env, DeviceMemoryMode::Restore,
                                                             kA21, QString(), QString());
            gui.files = {QString::fromStdString(bin.string())};
            child<QPushButton>(dlg.get(), "1135")->click();
            rig.prompter.answer(PromptAnswer::Yes);
        } else {
            dlg = std::make_unique<CDeviceMemorySetDlg>(gui.env, DeviceMemoryMode::Restore, kA21,
                                                        QString(), QString());
            gui.files = {QString::fromStdString(pdm.string())};
            child<QPushButton>(dlg.get(), "1100")->click();
        }
        child<QCheckBox>(dlg.get(), "verify")->setChecked(true);
        child<QPushButton>(dlg.get(), c.linuxImage ? "1133" : "1126")->click();
        ASSERT_FALSE(rig.shown().empty());
        const std::string shown = rig.shown().back();
        EXPECT_EQ(shown.substr(0, c.report.size()), c.report) << shown;
        if (!c.linuxImage && c.lost != 0) {
            EXPECT_TRUE(shown.ends_with("\nVerify failed: 100 of 250 words differ")) << shown;
        }
        // A restore the read-back finds wrong is no success in the record.
        ASSERT_EQ(gui.journal.ended.size(), 1u);
        EXPECT_EQ(gui.journal.ended[0].result,
                  c.lost == 0 ? OperationResult::Ok : OperationResult::Failed);
    }
}

// Text from a file name or a file is escaped before a field shows it; a ".PDM" longer than a
// device memory file is loaded only when the user agrees, after seeing both sizes.
TEST(DevmemDialogs, LongPdmIsAskedForAndNamesAreEscaped) {
    TempFolder dir;
    const fs::path file = dir.path() / "a\x1b]0;x\x07.PDM";
    saveD(file, 10);
    std::ofstream(file, std::ios::binary | std::ios::app) << 'x';
    for (const auto answer : {PromptAnswer::No, PromptAnswer::Yes}) {
        Rig rig;
        Gui gui(rig, false);
        CDeviceMemorySetDlg dlg(gui.env, DeviceMemoryMode::Restore, kA21, QString(), QString());
        gui.files = {QString::fromStdString(file.string())};
        rig.prompter.answer(answer);
        child<QPushButton>(&dlg, "1100")->click();
        const bool yes = answer == PromptAnswer::Yes;
        EXPECT_EQ(rig.shown().front(),
                  "The file is 146,218 bytes, longer than a device memory file (146,217 "
                  "bytes); only its first 146,217 bytes are device memory.\nLoad only that "
                  "part?");
        EXPECT_EQ(rig.shown().size(), yes ? 2u : 1u);
        EXPECT_EQ(dlg.fileText().toStdString(),
                  yes ? (dir.path() / "a\\x1B]0;x\\x07.PDM").string() : "");
        EXPECT_EQ(child<QPushButton>(&dlg, "1131")->isEnabled(), yes);
        EXPECT_EQ(areaButton(&dlg, kD)->isChecked(), yes);
    }
}

// A cancelled CPU type choice opens no window and connects nothing (a type the PLC fails the
// check with is seen through the main window's buttons: DeviceMemoryButtonsOpenTheirWindows).
TEST(DevmemDialogs, OpeningStopsAtACancelledChoice) {
    Rig rig;
    Gui gui(rig, false);
    std::vector<std::string> steps;
    DeviceMemoryOpenSteps open{[&](QWidget*, bool linuxFamily) {
                                   steps.push_back(linuxFamily ? "linux" : "normal");
                                   return std::optional<CpuType>{};
                               },
                               [&](CpuType cpu) {
                                   steps.push_back("connect " + std::to_string(cpu));
                                   return true;
                               }};
    EXPECT_FALSE(openDeviceMemory(nullptr, gui.env, DeviceMemoryFamily::Normal,
                                  DeviceMemoryMode::Backup, {}, open));
    EXPECT_EQ(steps, std::vector<std::string>{"normal"});
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

// Esc or the close box while a backup runs: the window asks, stays until the transfer has
// ended and then closes (Yes) or stays open (No); the backup finishes either way. Both
// windows, the device memory one and the Linux one.
TEST(DevmemDialogs, ClosingDuringATransferAsksAndWaitsForItsEnd) {
    struct Case {
        bool linux;
        PromptAnswer answer;
        const char* done;
    };
    const char* saved = "Data saving completed";
    const char* uploaded = "Upload Success";
    for (const Case c :
         {Case{false, PromptAnswer::Yes, saved}, Case{false, PromptAnswer::No, saved},
          Case{true, PromptAnswer::Yes, uploaded}, Case{true, PromptAnswer::No, uploaded}}) {
        SCOPED_TRACE(std::string(c.linux ? "Linux" : "device memory") +
                     (c.answer == PromptAnswer::Yes ? ", Yes" : ", No"));
        TempFolder dir;
        sim::PlcConfig config;
        config.imageSize = 500;
        Rig rig(config);
        rig.plc.fillDeviceMemory(3);
        Gui gui(rig);
        const QString folder = QString::fromStdString(dir.path().string() + "/");
        const fs::path file = dir.path() / (c.linux ? "image.BIN" : "backup.PDM");
        gui.files = {QString::fromStdString(file.string())};
        std::unique_ptr<QDialog> dlg;
        std::function<bool()> transfer;
        if (c.linux) {
            auto* w =
                new CLinuxDeviceMemorySetDlg(gui.env, DeviceMemoryMode::Backup, kA21, folder, {});
            dlg.reset(w);
            w->start();
            transfer = [w] { return w->runTransfer().has_value(); };
        } else {
            auto* w = new CDeviceMemorySetDlg(gui.env, DeviceMemoryMode::Backup, kA21, folder, {});
            dlg.reset(w);
            child<QPushButton>(w, "1100")->click();
            transfer = [w] { return w->runTransfer().has_value(); };
        }
        dlg->show();
        rig.prompter.clear();
        rig.prompter.answer(c.answer);
        bool closedAtOnce = true;
        QTimer::singleShot(0, [&] {
            dlg->close(); // the close box; Esc goes the same way
            closedAtOnce = !dlg->isVisible();
        });
        ASSERT_TRUE(transfer());
        EXPECT_FALSE(closedAtOnce) << "the window stays while the transfer runs";
        EXPECT_EQ(dlg->isVisible(), c.answer == PromptAnswer::No);
        EXPECT_EQ(rig.shown(), (std::vector<std::string>{
                                   std::string(rig.messages(Msg::TransferRunning)), c.done}));
        EXPECT_TRUE(fs::exists(file));
    }
}

// The save dialog itself (no answer of ours): a name typed without an extension gets ".PDM"
// before the dialog asks about replacing, so an existing "line2.PDM" is asked about and a new
// "line3" comes back as "line3.PDM".
TEST(DevmemDialogs, SaveDialogAddsTheExtensionBeforeItAsksAboutReplacing) {
    TempFolder dir;
    Rig rig;
    DevmemGuiEnv env{rig.prompter, rig.messages, rig.clock, {}, {}};
    saveD(dir.path() / "line2.PDM", 10);
    const QString folder = QString::fromStdString(dir.path().string());
    for (const char* typed : {"line2", "line3"}) {
        SCOPED_TRACE(typed);
        QString asked;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
            // The question about replacing, if any, is answered No.
            QTimer::singleShot(0, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    asked = box->text();
                    box->button(QMessageBox::No)->click();
                }
            });
            static_cast<QDialog*>(dialog)->accept(); // the Save button
            if (dialog->isVisible()) {
                dialog->reject();
            }
        });
        const QString chosen =
            env.askFile(nullptr, DevmemGuiEnv::FileDialog::Save, folder, QStringLiteral(".PDM"),
                        QStringLiteral("Device memory files (*.PDM)"));
        if (std::string(typed) == "line2") {
            EXPECT_TRUE(asked.contains(QStringLiteral("line2.PDM"))) << asked.toStdString();
            EXPECT_TRUE(chosen.isEmpty());
        } else {
            EXPECT_TRUE(asked.isEmpty()) << asked.toStdString();
            EXPECT_EQ(chosen.toStdString(), (dir.path() / "line3.PDM").string());
        }
    }
}

// A save name that stands for a named pipe or a link is refused by name in both windows and
// the dialog asks again; nothing is made at that name.
TEST(DevmemDialogs, SaveNamesThatAreNotRegularFilesAreRefused) {
    for (const bool linux : {false, true}) {
        SCOPED_TRACE(linux ? "Linux" : "device memory");
        TempFolder dir;
        Rig rig;
        Gui gui(rig);
        const std::string ext = linux ? ".BIN" : ".PDM";
        const fs::path fifo = dir.path() / ("pipe" + ext);
        const fs::path link = dir.path() / ("link" + ext);
        const fs::path good = dir.path() / ("good" + ext);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        fs::create_symlink(dir.path() / "elsewhere", link);
        gui.files = {QString::fromStdString(fifo.string()), QString::fromStdString(link.string()),
                     QString::fromStdString(good.string())};
        rig.prompter.clear();
        const QString folder = QString::fromStdString(dir.path().string() + "/");
        QString chosen;
        if (linux) {
            CLinuxDeviceMemorySetDlg w(gui.env, DeviceMemoryMode::Backup, kA21, folder, {});
            w.start();
            chosen = w.fileText();
        } else {
            CDeviceMemorySetDlg w(gui.env, DeviceMemoryMode::Backup, kA21, folder, {});
            child<QPushButton>(&w, "1100")->click();
            chosen = QString::fromStdString(w.transfer().file().string());
        }
        EXPECT_EQ(chosen.toStdString(), good.string());
        EXPECT_EQ(rig.shown(),
                  (std::vector<std::string>{
                      fifo.string() + "\nThis name is not a regular file (a named pipe). Choose "
                                      "another name.",
                      link.string() + "\nThis name is not a regular file (a symbolic link). "
                                      "Choose another name."}));
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
        EXPECT_FALSE(fs::exists(dir.path() / "elsewhere"));
    }
}

} // namespace
} // namespace dlu
