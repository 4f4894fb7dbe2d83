#pragma once

class QApplication;

namespace dlu::gui {

// The looks of "UI Theme Type": 0 a light Fusion look, 1 a dark Fusion look, anything else the
// platform's own style.
enum class Theme { Light, Dark, Platform };

Theme themeOfSetting(int uiThemeType);
void applyTheme(QApplication& app, Theme theme);

} // namespace dlu::gui
