#pragma once

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace dlu {

class CommSet;
class Messages;

// The setup page of the three connection types that talk over a serial port: the serial port
// itself, the dial-up modem (with phone number, outer number and initialise command) and the
// leased-line modem (with its line kind). The page edits the record fields of its own type.
class CPropCommSerial : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Serial, DialUp, LeasedLine };

    // Shown in the port list when the computer has no serial port.
    static constexpr const char* kNoPort = "-------------";

    // `ports` are the computer's serial port names in the order of the stored port index.
    CPropCommSerial(Kind kind, const Messages& messages, std::vector<std::string> ports,
                    QWidget* parent = nullptr);

    Kind kind() const { return kind_; }

    // Shows the fields of this page's type from `record`.
    void load(const CommSet& record);
    // Writes this page's fields into `record`; the other fields stay.
    void store(CommSet& record) const;

private:
    struct Fields;
    Fields fields() const;

    Kind kind_;
    std::vector<std::string> ports_;
    QComboBox* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QSpinBox* timeout_ = nullptr;
    QSpinBox* retry_ = nullptr;
    QCheckBox* stationUsed_ = nullptr;
    QSpinBox* station_ = nullptr;
    QCheckBox* rtsCts_ = nullptr;
    QComboBox* txDelay_ = nullptr;
    QLineEdit* phone_ = nullptr;
    QLineEdit* outer_ = nullptr;
    QLineEdit* init_ = nullptr;
    QComboBox* lines_ = nullptr;
};

} // namespace dlu
