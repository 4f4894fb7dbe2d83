#pragma once

#include "devmem/DeviceViewerModel.h"
#include "devmem/gui/DevmemGuiEnv.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace dlu {

class CDeviceGridCtrl;
class CDeviceGridModel;

// The device memory viewer (dialog 376): the words of one area of the device memory window's
// image in decimal and hexadecimal, edited in a private copy that reaches the image only by
// Apply. Export and Import move the words of the selected area to and from CSV; Compare
// highlights the words that differ from another ".PDM" file.
class CDeviceViewerDlg : public QDialog {
    Q_OBJECT
public:
    CDeviceViewerDlg(const DevmemGuiEnv& env, CpuType cpuType, PdmImage& image,
                     QWidget* parent = nullptr);
    ~CDeviceViewerDlg() override;

    DeviceViewerModel& viewer() { return viewer_; }
    CDeviceGridCtrl* grid() const { return grid_; }
    CDeviceGridModel* gridModel() const { return model_; }
    void selectArea(int area);

    // The buttons.
    void apply();
    void clearAll();
    void clearArea();
    void restore();
    void exportCsv();
    void importCsv();
    void compare();

private:
    bool ask(int koreanId);

    const DevmemGuiEnv& env_;
    PdmImage& image_;
    DeviceViewerModel viewer_;
    CDeviceGridModel* model_;
    CDeviceGridCtrl* grid_;
    QComboBox* combo_;
    QLabel* notice_;
};

} // namespace dlu
