#include "app/gui/PeerDialogs.h"

#include "comm/CommSet.h"
#include "common/SettingsStore.h"
#include "common/StringTable.h"
#include "download/gui/DialogUnits.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QStringList>

#include <vector>

namespace dlu::gui {

ConnectionSpec storedConnection(SettingsStore& settings) {
    CommSet record;
    record.load(settings);
    return ConnectionSpec::fromCommSet(record);
}

std::optional<ConnectionSpec> runConnectionSetup(QWidget* parent, SettingsStore& settings,
                                                 const Messages& messages) {
    // The setup dialog with its pages is not part of this build yet: the stored connection is
    // offered as it is.
    Q_UNUSED(parent);
    Q_UNUSED(messages);
    return storedConnection(settings);
}

std::optional<CpuType> runCpuTypeChoice(QWidget* parent, bool linuxFamily,
                                        const Messages& messages) {
    Q_UNUSED(messages);
    QStringList names;
    std::vector<CpuType> codes;
    for (int code = 0; code <= 40; ++code) {
        const auto type = static_cast<CpuType>(code);
        const auto name = CpuTypeTable::displayName(type);
        if (name.empty() || CpuTypeTable::isLinuxProject(type) != linuxFamily) {
            continue;
        }
        names << qtext(name);
        codes.push_back(type);
    }
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        parent, QStringLiteral("CPU Type"), QStringLiteral("CPU Type :"), names, 0, false, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return codes[static_cast<std::size_t>(names.indexOf(chosen))];
}

std::optional<std::string> runPasswordDialog(QWidget* parent, std::size_t maxLength,
                                             const Messages& messages) {
    Q_UNUSED(messages);
    bool ok = false;
    QString text =
        QInputDialog::getText(parent, QStringLiteral("Password"), QStringLiteral("Password :"),
                              QLineEdit::Password, QString(), &ok);
    if (!ok) {
        return std::nullopt;
    }
    return text.left(static_cast<qsizetype>(maxLength)).toStdString();
}

} // namespace dlu::gui
