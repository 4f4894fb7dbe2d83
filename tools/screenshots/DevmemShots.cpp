// The device memory windows for the screenshots: the backup window as it opens, the restore
// window with a file loaded, the progress window half-way through area D, the viewer on area D
// of a small backup, and the Linux window.
#include "Screenshots.h"

#include "common/Clock.h"
#include "common/Prompter.h"
#include "common/StringTable.h"
#include "devmem/PdmFile.h"
#include "devmem/gui/CDeviceMemorySetDlg.h"
#include "devmem/gui/CDeviceProgressDlg.h"
#include "devmem/gui/CDeviceViewerDlg.h"
#include "devmem/gui/CLinuxDeviceMemorySetDlg.h"
#include "plc/DeviceArea.h"

#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

namespace dlu::shots {
namespace {

class SilentPrompter final : public Prompter {
public:
    PromptAnswer message(std::string_view, PromptButtons, PromptIcon) override {
        return PromptAnswer::No;
    }
};

// What a window needs, kept alive as long as the window is.
struct Surroundings {
    explicit Surroundings(const Messages& m) : messages(m) {}
    SilentPrompter prompter;
    const Messages& messages;
    SystemClock clock;
    DevmemGuiEnv env{prompter, messages, clock, {}, {}};
    PdmImage image;
};

template <typename W> W* keep(W* window, std::shared_ptr<Surroundings> s) {
    QObject::connect(window, &QObject::destroyed, [s] {});
    return window;
}

// Backup windows create their (empty) default file: in a folder of the tool's own.
QString scratchFolder() {
    static QTemporaryDir dir;
    return dir.path() + QLatin1Char('/');
}

const Register memorySet{"device-memory", [](const Messages& m) -> QWidget* {
                             auto s = std::make_shared<Surroundings>(m);
                             return keep(new CDeviceMemorySetDlg(s->env, DeviceMemoryMode::Backup,
                                                                 26, scratchFolder(),
                                                                 scratchFolder()),
                                         s);
                         }};

// The restore window with a backup of D 0 to 250 loaded and the read-back asked for.
const Register memoryRestore{
    "device-memory-restore", [](const Messages& m) -> QWidget* {
        auto s = std::make_shared<Surroundings>(m);
        constexpr int kD = static_cast<int>(AreaIndex::D);
        s->image.setFlag(1);
        s->image.setMask(1u << kD);
        s->image.setRange(kD, {0, 250});
        const QString file = scratchFolder() + QStringLiteral("Plant line 2.PDM");
        if (PdmFile::save(file.toStdString(), s->image) != PdmFile::SaveResult::Saved) {
            return nullptr;
        }
        s->env.chooseFile = [file](QWidget*, DevmemGuiEnv::FileDialog, const QString&,
                                   const QString&, const QString&) { return file; };
        auto* dlg = new CDeviceMemorySetDlg(s->env, DeviceMemoryMode::Restore, 26, scratchFolder(),
                                            scratchFolder());
        dlg->choosePath();
        if (auto* verify = dlg->findChild<QCheckBox*>(QStringLiteral("verify"))) {
            verify->setChecked(true);
        }
        return keep(dlg, s);
    }};

const Register progress{
    "device-progress", [](const Messages& m) -> QWidget* {
        auto s = std::make_shared<Surroundings>(m);
        auto* p = new CDeviceProgressDlg(nullptr, CDeviceProgressDlg::Kind::Backup, s->prompter, m);
        p->setWindowTitle(qtext(m, 551));
        p->update({"<[D] " + std::string(m(572)), "D00100" + std::string(m(573)), 49, 50});
        return keep(p, s);
    }};

const Register viewer{"device-viewer", [](const Messages& m) -> QWidget* {
                          auto s = std::make_shared<Surroundings>(m);
                          constexpr int kD = static_cast<int>(AreaIndex::D);
                          s->image.setFlag(1);
                          for (std::uint32_t w = 0; w < 250; ++w) {
                              s->image.setWord(kD, w, static_cast<std::uint16_t>(w * 37u % 2000u));
                          }
                          auto* v = new CDeviceViewerDlg(s->env, 26, s->image);
                          v->selectArea(kD);
                          return keep(v, s);
                      }};

const Register linuxMemory{
    "linux-device-memory", [](const Messages& m) -> QWidget* {
        auto s = std::make_shared<Surroundings>(m);
        return keep(new CLinuxDeviceMemorySetDlg(s->env, DeviceMemoryMode::Restore, 26,
                                                 scratchFolder(), scratchFolder()),
                    s);
    }};

} // namespace
} // namespace dlu::shots
