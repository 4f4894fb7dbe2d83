#pragma once

#include <QRect>
#include <QString>

#include <string_view>

class QWidget;

namespace dlu::gui {

// A UTF-8 text of the string table or the core as a QString.
inline QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Dialog layouts are given in dialog units: a quarter of the font's average character width
// horizontally, an eighth of its height vertically. Converting with the widget's own font
// keeps the proportions at any font size and screen scale.
class DialogUnits {
public:
    explicit DialogUnits(const QWidget& widget);

    int x(int units) const;
    int y(int units) const;
    QRect rect(int left, int top, int width, int height) const;

private:
    int baseX_;
    int baseY_;
};

} // namespace dlu::gui
