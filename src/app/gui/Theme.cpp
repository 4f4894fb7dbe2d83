#include "app/gui/Theme.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace dlu::gui {

Theme themeOfSetting(int uiThemeType) {
    switch (uiThemeType) {
    case 0:
        return Theme::Light;
    case 1:
        return Theme::Dark;
    default:
        return Theme::Platform;
    }
}

void applyTheme(QApplication& app, Theme theme) {
    if (theme == Theme::Platform) {
        return; // whatever style and palette the desktop gives
    }
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (theme == Theme::Light) {
        app.setPalette(app.style()->standardPalette());
        return;
    }
    QPalette dark;
    const QColor window(0x35, 0x35, 0x38);
    const QColor base(0x25, 0x25, 0x27);
    const QColor text(0xE8, 0xE8, 0xE8);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::ToolTipBase, window);
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::BrightText, Qt::red);
    dark.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    app.setPalette(dark);
}

} // namespace dlu::gui
