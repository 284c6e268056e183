#include "FirmwareDialogLauncher.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "CardLink.h"
#include "ConfigData.h"
#include "DlgUpgradeFirmware.h"
#include "FirmwareTexts.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "widgets/CTipWnd.h"
#include "LocalPackageServer.h"
#include "Log/Log.h"
#include "MainApp.h"

#define LOG_SOURCE "app\\FirmwareDialogLauncher"

namespace {

std::unique_ptr<firmware::IFirmwareServer> MakeServer() {
    const char* path = std::getenv("LYNT_FIRMWARE_PACKAGE");
    if (path && *path) {
        std::ifstream file(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
        if (bytes.empty()) {
            VLOG_ERROR("firmware", "OpenFirmwareDialog", "cannot read the package %s", path);
        }
        return std::make_unique<firmware::CLocalPackageServer>(std::move(bytes));
    }
    return firmware::CreateFirmwareServer();
}

}  // namespace

void OpenFirmwareDialog(CMainApp& app, QWidget* owner) {
    if (!app.Builder() || !app.GetProtocol() || !app.WorkSpace()) {
        return;
    }
    CWorkSpace* workspace = app.WorkSpace();
    auto loading = [&app, workspace] {
        return app.loadingEffect.load() != 0 ||
               (workspace->Protocol() && workspace->Protocol()->IsDownloading());
    };
    if (loading()) {
        VLOG_INFO("firmware", "OpenFirmwareDialog", "refused: an effect file or clip is loading");
        // A tip, not a box: a modal loop here would hold up the very load being waited for.
        CTipWnd::ShowTipOnWindow(owner, QString::fromUtf8(firmware::kErrLineBusy), true);
        return;
    }
    // The loader is opened on the card worker, beside the panel's other opens of the card.
    auto link = std::make_unique<firmware::CHidCardLink>(*app.Builder(), *app.GetProtocol(),
                                                         *app.WorkSpace(), app.Connection(),
                                                         &app.CardWorker());
    CDlgUpgradeFirmware dialog(std::move(link), MakeServer(), app.upgradingFirmware, owner);
    // The card's versions outlive its stay in the loader there (the check starts later).
    dialog.Manager().SetSettingsFile(CConfigData::Instance().GetPath());
    dialog.SetLoadingCheck(loading);
    dialog.DoModal();
}
