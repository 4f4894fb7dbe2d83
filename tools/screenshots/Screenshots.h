#pragma once

#include <QString>

#include <functional>
#include <utility>
#include <vector>

class QWidget;

namespace dlu {
class Messages;
}

namespace dlu::shots {

// One window to render: the file name stem ("main-window" gives main-window-en.png and
// main-window-ko.png) and a function that builds it, filled in as a user would see it, in the
// language of `messages`. The caller shows, grabs and deletes the widget.
struct Shot {
    QString name;
    std::function<QWidget*(const Messages& messages)> make;
};

// Every shot registered by the files of this program.
std::vector<Shot>& registry();

// A file adds its windows with a static Register object:
//   static const dlu::shots::Register shot{"cpu-type", [](const dlu::Messages& m) { ... }};
struct Register {
    Register(QString name, std::function<QWidget*(const Messages&)> make) {
        registry().push_back(Shot{std::move(name), std::move(make)});
    }
};

} // namespace dlu::shots
