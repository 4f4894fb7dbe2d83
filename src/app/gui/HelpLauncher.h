#pragma once

#include <QString>

namespace dlu::gui {

// The user manual that ships with the program: beside an installed program
// (<prefix>/share/doc/downloader/manual.html), or in the source tree's docs/ when run from a
// build. Empty when none is found.
QString findManual(const QString& programFolder);

// Where the installed program keeps its manual, whether or not it is there.
QString installedManualPath(const QString& programFolder);

// Opens the help file in the parent folder of the program's folder with the desktop's viewer
// when there is one, else the manual. False when neither could be opened; `manual` is then
// the manual's place, to be told to the user.
bool openHelp(QString& manual);

} // namespace dlu::gui
