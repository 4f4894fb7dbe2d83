#include "download/gui/DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>

namespace dlu::gui {

DialogUnits::DialogUnits(const QWidget& widget) {
    const QFontMetrics metrics(widget.font());
    // The average of the 52 letters, as the dialog unit is defined, rounded up.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    baseY_ = metrics.height();
    if (baseX_ < 1) {
        baseX_ = 1;
    }
    if (baseY_ < 1) {
        baseY_ = 1;
    }
}

int DialogUnits::x(int units) const { return (units * baseX_ + 2) / 4; }
int DialogUnits::y(int units) const { return (units * baseY_ + 4) / 8; }

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
}

} // namespace dlu::gui
