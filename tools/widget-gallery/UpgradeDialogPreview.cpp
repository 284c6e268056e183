#include "UpgradeDialogPreview.h"

#include <stdlib.h>
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <json/json.h>

#include "CardLink.h"
#include "DlgUpgradeFirmware.h"
#include "FwPack.h"
#include "Json/JsonReader.h"
#include "LocalPackageServer.h"
#include "QVAudioProtocol.h"
#include "VirtualCardServer.h"
#include "WorkSpace.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"
#include "toolkit/QtDispatcher.h"

QStringList UpgradePreviewNames() {
    return {QStringLiteral("upgrade-available"), QStringLiteral("upgrade-uptodate"),
            QStringLiteral("upgrade-writing"), QStringLiteral("upgrade-failed")};
}

int PreviewUpgradeDialog(const QString& name, const QString& screenshot) {
    if (!UpgradePreviewNames().contains(name)) {
        return 2;
    }
    const bool upToDate = name == QLatin1String("upgrade-uptodate");
    const bool writing = name == QLatin1String("upgrade-writing");
    const bool failing = name == QLatin1String("upgrade-failed");

    toolkit::CQtDispatcher dispatcher;
    ccm_util::CScopedDispatcher installed(&dispatcher);
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    ::setenv(CVirtualCardDevice::kFolderVariable, folder.c_str(), 1);
    vcard::ServerOptions options;
    options.socketPath = folder / "#VID_2B53&PID_0041#0";
    options.identity.firmwareVersion = upToDate ? 24 : 23;
    options.loaderFailBlock = failing ? 3 : -1;
    vcard::CVirtualCardServer card(options);
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    if (!card.Start() || !builder.CreateManager(&protocol) ||
        !builder.OpenDevicePath(card.DevicePath())) {
        qCritical("the virtual card did not start");
        return 1;
    }
    protocol.SetReplyTimeoutLimit(100);
    CWorkSpace workspace(folder / "LyntConfigData.db", folder);
    std::atomic<int> upgrading{0};
    auto dialog = std::make_unique<CDlgUpgradeFirmware>(
        std::make_unique<firmware::CHidCardLink>(builder, protocol, workspace, nullptr),
        std::make_unique<firmware::CLocalPackageServer>(
            fwpack::BuildPackage(fwpack::SimplePackage("2.4", writing ? 200000 : 3000))),
        upgrading, nullptr);
    dialog->SetConfirm([](QWidget*) { return true; });
    dialog->move(0, 0);
    dialog->show();

    // Drives the dialog to the state asked for, then takes the picture.
    QTimer poll;
    bool clicked = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const bool ready = dialog->State() == CDlgUpgradeFirmware::kPackageReady;
        if ((writing || failing) && ready && !clicked) {
            clicked = true;
            dialog->OnUpgradeClicked();
            return;
        }
        Json::Value state;
        json_reader::ParseObject(card.StateJson(), state);
        int blocks = 0;
        json_reader::GetInt(json_reader::Member(state, "firmware"), "blocks", blocks);
        const bool reached = writing   ? blocks > 1500
                             : failing ? clicked && upgrading.load() == 0
                                       : ready;
        if (!reached) {
            return;
        }
        poll.stop();
        if (screenshot.isEmpty()) {
            return;
        }
        const bool written = dialog->grab().save(screenshot);
        qInfo("screenshot %s: %s", qUtf8Printable(screenshot), written ? "written" : "FAILED");
        QApplication::exit(written ? 0 : 1);
    });
    poll.start(50);
    const int status = QApplication::exec();
    dialog.reset();
    builder.GetManager()->DetachDevice();
    return status;
}
