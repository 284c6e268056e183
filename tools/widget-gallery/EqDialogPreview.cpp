#include "EqDialogPreview.h"

#include <QTemporaryDir>
#include <filesystem>

#include "WorkSpace.h"
#include "effects/ui/DlgEQ.h"
#include "toolkit/ControlEvent.h"
#include "widgets/QvSlider.h"

namespace {

// A private folder for the workspace's settings file; it goes with the preview.
struct CPreviewWorkSpace {
    QTemporaryDir dir;
    std::unique_ptr<CWorkSpace> workspace;
};

}  // namespace

std::unique_ptr<QWidget> CreateEqDialogPreview(std::shared_ptr<void>& keep) {
    auto holder = std::make_shared<CPreviewWorkSpace>();
    if (!holder->dir.isValid()) {
        return nullptr;
    }
    const std::filesystem::path dir = holder->dir.path().toStdString();
    holder->workspace = std::make_unique<CWorkSpace>(dir / "LyntConfigData.db", dir);
    for (int id = model::kParamEqFirst; id <= model::kParamEqLast; ++id) {
        holder->workspace->SetParam(id, 120);  // 0 dB: the raised band stands alone
    }
    auto dialog = std::make_unique<CDlgEQ>(*holder->workspace);
    // Moved as the user moves it: through the binder, the workspace and the curve's event.
    if (auto* slider = dialog->FindChildByID<QvSlider>(CDlgEQ::kSliderFirst + 8)) {
        slider->setValue(180);
        toolkit::RaiseControlEvent(slider, toolkit::EventKind::SliderPos, slider->value());
    }
    if (QWidget* overlay = dialog->FindChildByName(QStringLiteral("forbid_device_conn_status"))) {
        overlay->hide();
    }
    keep = holder;
    return dialog;
}
