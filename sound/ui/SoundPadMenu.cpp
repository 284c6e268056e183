// The pads' context menus and their commands, and adding the user's own clips.
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>

#include "AudioEngine.h"
#include "ClipCheck.h"
#include "ClipEvents.h"
#include "ClipSlots.h"
#include "ConfigData.h"
#include "Log/Log.h"
#include "MoodConfig.h"
#include "SoundPadText.h"
#include "profile/Profile.h"
#include "sound/ui/DlgEditFileName.h"
#include "sound/ui/EventHandlerSound.h"
#include "toolkit/Controls.h"
#include "toolkit/HostWindow.h"
#include "toolkit/Menu.h"
#include "toolkit/MessageBox.h"
#include "widgets/CTipWnd.h"
#include "widgets/SInputHotKeyDlg.h"

#define LOG_SOURCE "sound\\ui\\SoundPadMenu"

namespace sound::ui {

namespace pa = platform::audio;

namespace {

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

std::unique_ptr<toolkit::CMenu> CEventHandlerSound::BuildPadMenu(int id) const {
    auto menu = std::make_unique<toolkit::CMenu>();
    if (!menu->LoadMenu(QStringLiteral("SMENU:menu_mood_hotkey"))) {
        return nullptr;
    }
    if (id >= kFavouritePadFirst && id <= 14998) {
        menu->InsertItem(-1, kCmdRemoveFavourite, QStringLiteral("取消收藏"));
        const bool hasHotkey =
            m_store && m_store->GetFavouriteHotkey(size_t(id - kFavouritePadFirst)) != 0;
        if (hasHotkey) {
            menu->InsertItem(-1, kCmdDeleteHotkey, QStringLiteral("删除热键"));
            menu->InsertItem(-1, kCmdEditHotkey, QStringLiteral("编辑热键"));
        } else {
            menu->InsertItem(-1, kCmdSetHotkey, QStringLiteral("设置热键"));
        }
    } else if (id >= kLocalPadFirst && id <= 15998) {
        menu->InsertItem(-1, kCmdAddFavourite, QStringLiteral("添加到收藏夹"));
        if (id >= kUserPadFirst) {
            menu->InsertItem(-1, kCmdDeleteClip, QStringLiteral("删除特效"));
            menu->InsertItem(-1, kCmdRenameClip, QStringLiteral("重命名"));
        }
    } else if ((id >= kDownloadedPadFirst && id <= 17998) ||
               (id >= kCloudPadFirst && id <= kCloudPadLast)) {
        menu->InsertItem(-1, kCmdAddFavourite, QStringLiteral("添加到收藏夹"));
    } else {
        return nullptr;
    }
    std::vector<std::pair<int, QString>> slotItems;
    for (int slot = 0; slot < sound::clip::kSlotCount; ++slot) {
        slotItems.emplace_back(kCmdSendToSlot + slot, Q(sound::clip::SlotMenuText(slot)));
    }
    menu->InsertSubMenu(-1, Q(sound::clip::SendToCardMenuText()), slotItems);
    if (m_cardReady && !m_cardReady()) {
        // The submenu has no command of its own: it is found by its first entry.
        if (QAction* first = menu->FindItem(kCmdSendToSlot)) {
            if (auto* sub = qobject_cast<QMenu*>(first->parent())) {
                sub->menuAction()->setEnabled(false);
            }
        }
    }
    return menu;
}

void CEventHandlerSound::ShowPadMenu(int id, const QPoint& screenPos) {
    if (id < kFavouritePadFirst || id > kCloudPadLast) {
        m_menuTarget = -1;
        return;
    }
    m_menuTarget = id;
    m_lastRightClicked = id;
    std::unique_ptr<toolkit::CMenu> menu = BuildPadMenu(id);
    if (menu) {
        menu->TrackPopupMenu(screenPos, m_window);
    }
}

bool CEventHandlerSound::OnMenuCommand(int id) {
    if (m_menuTarget < kFavouritePadFirst || !m_store) {
        return false;
    }
    if (id >= kCmdSendToSlot && id < kCmdSendToSlot + sound::clip::kSlotCount) {
        SendTargetToCard(id - kCmdSendToSlot);
        return true;
    }
    if (id < kCmdAddFavourite || id > kCmdRenameClip) {
        return false;
    }
    const size_t favourite = size_t(m_menuTarget - kFavouritePadFirst);
    const size_t userClip = size_t(m_menuTarget - kUserPadFirst);
    switch (id) {
        case kCmdAddFavourite:
            AddTargetToFavourites();
            break;
        case kCmdRemoveFavourite:
            if (m_menuTarget < kLocalPadFirst) {
                m_store->RemoveFavourite(favourite);
                BuildFavouriteGrid();
            }
            break;
        case kCmdDeleteHotkey:
            if (m_menuTarget < kLocalPadFirst) {
                DeleteFavouriteHotkey(favourite);
            }
            break;
        case kCmdSetHotkey:
        case kCmdEditHotkey:
            if (m_menuTarget < kLocalPadFirst) {
                EditFavouriteHotkey(favourite);
            }
            break;
        case kCmdDeleteClip:
            if (m_menuTarget >= kUserPadFirst && m_menuTarget <= 15998) {
                DeleteUserClip(userClip);
            }
            break;
        case kCmdRenameClip:
            if (m_menuTarget >= kUserPadFirst && m_menuTarget <= 15998) {
                RenameUserClip(userClip);
            }
            break;
        default:
            break;
    }
    return true;
}

void CEventHandlerSound::AddTargetToFavourites() {
    std::optional<MoodItem> clip = ClipForPad(*m_store, m_menuTarget);
    if (!clip) {
        return;
    }
    if (clip->kind == kMoodCloud) {
        const std::optional<MoodItem> copy = DownloadedCopy(*clip);
        if (!copy) {
            // Downloaded first; the download's end adds it (see OnCloudFileReady).
            StartCloudDownload(m_menuTarget, kCloudFavourite);
            return;
        }
        clip = copy;
    }
    if (m_store->IsFavourite(*clip)) {
        Tip(QStringLiteral("收藏夹中已经存在“%1”").arg(Q(ClipName(*clip))), true);
        return;
    }
    MoodItem item = *clip;
    item.hotkey = 0;
    if (!m_store->AddFavourite(item)) {
        Tip(QStringLiteral("添加到收藏夹失败"), true);
        return;
    }
    BuildFavouriteGrid();
    Tip(QStringLiteral("成功添加到收藏夹！"));
}

uint32_t CEventHandlerSound::SoundTrackHotkey() const {
    if (m_settingsFile.empty()) {
        return 0;
    }
    return uint32_t(platform::profile::GetPrivateProfileInt(
        config_keys::kHotKey, config_keys::kSoundTrack, 0, m_settingsFile));
}

void CEventHandlerSound::EditFavouriteHotkey(size_t index) {
    if (index >= m_store->Favourites().size()) {
        return;
    }
    const bool enabled = m_store->HotkeysEnabled();
    if (enabled) {
        m_store->UnregisterHotkeys();
    }
    const uint32_t old = m_store->GetFavouriteHotkey(index);
    uint32_t chosen = old;
    {
        SInputHotKeyDlg dialog(QStringLiteral("LAYOUT:XML_HOTKEYDLG"), old, QString(), m_window);
        if (m_runDialog(dialog) == toolkit::IDOK) {
            chosen = dialog.HotKey();
        }
    }
    if (chosen != old) {
        if (m_store->IsHotkeyInUse(chosen)) {
            Tip(QStringLiteral("此热键已经被其他特效占用！"), true);
        } else if (chosen != 0 && chosen == SoundTrackHotkey()) {
            Tip(QStringLiteral("此热键已经被一键原声占用！"), true);
        } else {
            m_store->SetFavouriteHotkey(index, chosen);
            BuildFavouriteGrid();
        }
    }
    if (enabled) {
        m_store->RegisterHotkeys();
    }
}

void CEventHandlerSound::DeleteFavouriteHotkey(size_t index) {
    const bool enabled = m_store->HotkeysEnabled();
    if (enabled) {
        m_store->UnregisterHotkeys();
    }
    m_store->SetFavouriteHotkey(index, 0);
    if (enabled) {
        m_store->RegisterHotkeys();
    }
    BuildFavouriteGrid();
}

void CEventHandlerSound::DeleteUserClip(size_t index) {
    if (index >= m_store->LocalClips().size()) {
        return;
    }
    const MoodItem clip = m_store->LocalClips()[index];
    const MoodItem& last = m_store->LastPlayed();
    if (ClipName(clip) == ClipName(last) && ClipPath(clip) == ClipPath(last)) {
        m_holder.StopPlayer();
        m_store->SetLastPlayed(MoodItem{});
        m_store->SetLastPlayedLength(u"");
        ResetBar();
    }
    m_store->RemoveLocalClip(index);
    BuildLocalGrid();
    if (m_store->RemoveFavouritesOf(clip)) {
        BuildFavouriteGrid();
    }
}

void CEventHandlerSound::RenameUserClip(size_t index) {
    if (index >= m_store->LocalClips().size()) {
        return;
    }
    CDlgEditFileName dialog(Q(ClipName(m_store->LocalClips()[index])), m_window);
    if (m_runDialog(dialog) != toolkit::IDOK) {
        return;
    }
    m_store->RenameLocalClip(index, dialog.Name().toStdU16String());
    if (m_window) {
        if (auto* pad = m_window->FindChildByID<QPushButton>(kUserPadFirst + int(index))) {
            const QString name = Q(ClipName(m_store->LocalClips()[index]));
            pad->setText(QString(name).replace(QLatin1Char('&'), QLatin1String("&&")));
            pad->setToolTip(name);
        }
    }
}

bool CEventHandlerSound::AddLocalClip() {
    const QString file = m_chooseFile
                             ? m_chooseFile(m_window)
                             : QFileDialog::getOpenFileName(m_window, QString(), QString(),
                                                            QStringLiteral("mp3文件 (*.mp3)"));
    if (file.isEmpty()) {
        return false;
    }
    return AddLocalClipFile(file.toStdString());
}

bool CEventHandlerSound::AddLocalClipFile(const std::filesystem::path& file) {
    if (!m_store) {
        return false;
    }
    std::error_code ec;
    // The engine is asked whether the file plays before the clip is kept: a damaged, empty or
    // foreign file would only fail later, on a pad, in front of an audience.
    bool playable = std::filesystem::is_regular_file(file, ec) && LooksLikeMp3File(file);
    std::u16string reason;
    if (playable) {
        std::unique_ptr<pa::IAudioEngine> probe = pa::CreateAudioEngine();
        pa::MediaInfo info;
        playable = probe && probe->Open(file.u16string(), AudioEngineHolder::kOpenFlags) &&
                   probe->GetMediaInfo(info) && info.milliseconds > 0;
        if (!playable && probe) {
            reason = probe->GetLastError();
        }
    }
    if (!playable) {
        VLOG_ERROR("sound", "AddLocalClipFile", "not a playable MP3 file");
        QString text = QStringLiteral("无法添加“%1”：不是可以播放的mp3文件！")
                           .arg(QString::fromStdU16String(file.filename().u16string()));
        if (!reason.empty()) {
            text += QStringLiteral("\n") + Q(reason);
        }
        toolkit::SMessageBox(m_window, text, QStringLiteral("提示"),
                             toolkit::MB_OK | toolkit::MB_ICONWARNING);
        return false;
    }
    CDlgEditFileName dialog(Q(NameFromFileName(file.filename().u16string())), m_window);
    if (m_runDialog(dialog) != toolkit::IDOK) {
        return false;
    }
    MoodItem item{};
    if (!MakeClip(item, kMoodFile, dialog.Name().toStdU16String(),
                  std::filesystem::absolute(file, ec).u16string())) {
        toolkit::SMessageBox(m_window, QStringLiteral("文件路径太长，无法添加！"),
                             QStringLiteral("提示"), toolkit::MB_OK | toolkit::MB_ICONWARNING);
        return false;
    }
    if (!m_store->AddLocalClip(item)) {
        return false;
    }
    BuildLocalGrid();
    return true;
}

void CEventHandlerSound::SendTargetToCard(int slot) {
    std::optional<MoodItem> clip = ClipForPad(*m_store, m_menuTarget);
    if (!clip) {
        return;
    }
    m_clipSlot = slot;
    if (clip->kind == kMoodCloud) {
        clip = DownloadedCopy(*clip);
        if (!clip) {
            // The download's end sends it, if this pad is still the one right-clicked.
            StartCloudDownload(m_menuTarget, kCloudSendToCard);
            return;
        }
    }
    if (clip->kind != kMoodResource && clip->kind != kMoodFile) {
        return;
    }
    // Posted: the dialog opens once the menu's command has returned.
    ccm_util::EventBus::Instance().Post(
        std::make_shared<EventDoSendData>(ClipPath(*clip), clip->kind == kMoodResource));
}

void CEventHandlerSound::OnDoSendData(const EventDoSendData& e) {
    // RunSendWindow ignores a request while a clip or an effect is being loaded.
    const int result =
        m_runSend(m_window, e.path, e.fromResource, m_clipSlot, m_store ? m_store->Volume() : 50);
    VLOG_INFO("sound", "OnDoSendData", "send to slot %d: %d", m_clipSlot, result);
    if (result == 1) {
        // The card has taken every block: say so, and where the clip is now.
        CTipWnd::ShowTipOnWindow(m_window, Q(sound::clip::SentToSlotText(m_clipSlot)), false, 3000);
    }
}

}  // namespace sound::ui
