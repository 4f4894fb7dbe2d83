// Renders every registered window in English and in Korean to PNG files:
//   screenshots [output folder]      (default: docs/screenshots of the source tree)
#include "Screenshots.h"

#include "common/StringTable.h"
#include "common/gui/QtTranslations.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace dlu::shots {

std::vector<Shot>& registry() {
    static std::vector<Shot> shots;
    return shots;
}

} // namespace dlu::shots

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("TORVA Downloader"));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                 : QStringLiteral(DLU_SOURCE_DIR "/docs/screenshots");
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "screenshots: cannot make %s\n", qPrintable(out));
        return 1;
    }
    int failed = 0;
    for (const auto& [language, suffix] :
         {std::pair{dlu::Language::English, "en"}, std::pair{dlu::Language::Korean, "ko"}}) {
        const dlu::Messages messages(language);
        const dlu::gui::QtTranslations qtTexts(language); // Qt's own buttons in the language
        for (const auto& shot : dlu::shots::registry()) {
            std::unique_ptr<QWidget> window(shot.make(messages));
            if (!window) {
                std::fprintf(stderr, "screenshots: %s made no window\n", qPrintable(shot.name));
                ++failed;
                continue;
            }
            window->show();
            for (int i = 0; i < 5; ++i) {
                QApplication::processEvents();
            }
            const QString file = QDir(out).filePath(shot.name + QLatin1Char('-') +
                                                    QLatin1String(suffix) + QStringLiteral(".png"));
            if (!window->grab().save(file)) {
                std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(file));
                ++failed;
                continue;
            }
            std::printf("%s\n", qPrintable(file));
        }
    }
    return failed == 0 ? 0 : 1;
}
