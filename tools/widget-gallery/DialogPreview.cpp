#include "DialogPreview.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>

#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "effects/ui/DlgReverbPitch.h"
#include "effects/ui/DlgSaveEffect.h"
#include "effects/ui/DlgSavePreset.h"
#include "sound/ui/DlgEditFileName.h"
#include "sound/ui/SetVolumeDlg.h"
#include "sound/ui/SendWindow.h"

struct CDialogPreview::Impl {
    QTemporaryDir dir;
    std::unique_ptr<CWorkSpace> workspace;
    CQVAudioProtocol protocol;  // no card: the send window is only shown, never started
    std::atomic<int> loading{0};
    std::unique_ptr<QWidget> window;  // declared last: goes before the workspace
};

QStringList CDialogPreview::Names() {
    return {QStringLiteral("reverb"),     QStringLiteral("voice"),    QStringLiteral("reverb-nocard"),
            QStringLiteral("savepreset"), QStringLiteral("saveeffect"), QStringLiteral("volume"),
            QStringLiteral("rename"),     QStringLiteral("sendclip")};
}

std::unique_ptr<CDialogPreview> CDialogPreview::Create(const QString& name) {
    if (!Names().contains(name)) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    const std::filesystem::path folder = impl->dir.path().toStdString();
    impl->workspace = std::make_unique<CWorkSpace>(folder / "LyntConfigData.db", folder);
    CWorkSpace& ws = *impl->workspace;
    // A reverb and a voice preset of the user's, as after a while of use.
    ws.SaveCustomPreset(u"录音棚人声混响", 2, 0);
    ws.SaveCustomPreset(u"低沉", 3, 1);

    if (name == QLatin1String("reverb-nocard")) {
        impl->window = std::make_unique<effects::ui::CDlgReverbPitch>(ws, 0);
    } else if (name == QLatin1String("reverb") || name == QLatin1String("voice")) {
        const bool voice = name == QLatin1String("voice");
        auto dialog = std::make_unique<effects::ui::CDlgReverbPitch>(ws, voice ? 1 : 0);
        const int group = voice ? 3 : 2;
        ws.ApplyGroupPreset(group, 2);
        ws.SetSelectedPreset(group, 1);
        if (auto* radio = dialog->PresetRadio(group, 2)) {
            radio->setChecked(true);
        }
        // The cover shows while no card is connected; the picture shows the dialog in use.
        if (auto* cover = dialog->FindChildByName(QStringLiteral("forbid_device_conn_status"))) {
            cover->hide();
        }
        impl->window = std::move(dialog);
    } else if (name == QLatin1String("sendclip")) {
        // Two fifths of a clip for the 47-second slot on its way.
        auto dialog = std::make_unique<sound::ui::SendWindow>(
            sound::clip::ClipSendRequest{u"掌声.mp3", false, 4, 100}, impl->protocol, impl->loading,
            nullptr);
        dialog->OnClipStage(sound::clip::ClipStage::Sending);
        dialog->OnClipProgress(1384120, 3460300);
        impl->window = std::move(dialog);
    } else if (name == QLatin1String("savepreset")) {
        auto dialog = std::make_unique<effects::ui::CDlgSavePreset>(ws, 2);
        dialog->FindChildByName<QComboBox>(QStringLiteral("combo_save_to"))->setCurrentIndex(1);
        dialog->FindChildByName<QLineEdit>(QStringLiteral("edit_name"))
            ->setText(QStringLiteral("小剧场"));
        impl->window = std::move(dialog);
    } else if (name == QLatin1String("volume")) {
        impl->window = std::make_unique<sound::ui::CSetVolumeDlg>(76);
    } else if (name == QLatin1String("rename")) {
        // A file called "Artist-Song.mp3" as it is added: the name is cut before the dash.
        impl->window = std::make_unique<sound::ui::CDlgEditFileName>(QStringLiteral("掌声雷动-现场版"));
    } else {
        auto dialog = std::make_unique<effects::ui::CDlgSaveEffect>(ws);
        dialog->FindChildByName<QLineEdit>(QStringLiteral("edit_name"))
            ->setText(QStringLiteral("直播间人声"));
        impl->window = std::move(dialog);
    }
    return std::unique_ptr<CDialogPreview>(new CDialogPreview(std::move(impl)));
}

CDialogPreview::CDialogPreview(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

CDialogPreview::~CDialogPreview() = default;

QWidget* CDialogPreview::Window() const {
    return m_impl->window.get();
}
