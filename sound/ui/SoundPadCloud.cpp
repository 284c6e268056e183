// The sound-pad page's cloud tabs: the category fetch with its busy sign and retry link, one tab
// per category, and the cloud pads' downloads with what follows them (play, favourite, send).
#include <QGridLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <algorithm>
#include <system_error>

#include "ClipEvents.h"
#include "CloudSoundNames.h"
#include "Log/Log.h"
#include "MoodConfig.h"
#include "SoundPadText.h"
#include "sound/ui/EventHandlerSound.h"
#include "toolkit/HostWindow.h"

#define LOG_SOURCE "sound\\ui\\SoundPadCloud"

namespace sound::ui {

namespace {

constexpr int kScrollStep = 30;

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

bool CEventHandlerSound::StartCloudFetch() {
    if (!m_cloud || !m_cloud->StartFetch()) {
        return false;
    }
    ShowRetryLink(false);
    ShowCloudBusy(true);
    return true;
}

void CEventHandlerSound::OnCloudRetryTimer() {
    m_window->KillTimer(kCloudRetryTimerId);
    StartCloudFetch();
}

void CEventHandlerSound::OnCloudListFinished(bool success) {
    if (success) {
        BuildCloudTabs();
    } else {
        ShowRetryLink(true);
    }
    ShowCloudBusy(false);
}

void CEventHandlerSound::ShowCloudBusy(bool busy) {
    if (QWidget* ani = m_window->FindChildByName(QStringLiteral("ani_fetch_cloud_sound"))) {
        ani->setVisible(busy);
    }
}

void CEventHandlerSound::ShowRetryLink(bool shown) {
    if (QWidget* link = m_window->FindChildByName(QStringLiteral("btn_cloud_sound_retry"))) {
        link->setVisible(shown);
    }
}

QScrollArea* CEventHandlerSound::AddCloudTab(size_t category) {
    const QString name = QStringLiteral("scrollview_sound_cloud_%1").arg(category);
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("page_sound_cloud_%1").arg(category));
    auto* view = new QScrollArea(page);
    view->setObjectName(name);
    view->setWidgetResizable(true);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->verticalScrollBar()->setSingleStep(kScrollStep);
    auto* content = new QWidget;
    content->setObjectName(name + QStringLiteral("_content"));
    auto* grid = new QGridLayout(content);
    // Looks like the fixed tabs, whatever the layout file gave them.
    if (m_localView) {
        view->setGeometry(m_localView->geometry());
        view->setFrameShape(m_localView->frameShape());
        if (auto* local = qobject_cast<QGridLayout*>(
                m_localView->widget() ? m_localView->widget()->layout() : nullptr)) {
            grid->setContentsMargins(local->contentsMargins());
            grid->setHorizontalSpacing(local->horizontalSpacing());
            grid->setVerticalSpacing(local->verticalSpacing());
        }
    } else {
        view->setFrameShape(QFrame::NoFrame);
    }
    view->setWidget(content);
    // A single "&" in a tab title would mark a shortcut letter and vanish.
    const QString title = Q(DoubleAmpersands(m_store->CategoryName(category)));
    m_tabs->insertTab(kFixedTabs + int(category), page, title);
    return view;
}

void CEventHandlerSound::BuildCloudTabs() {
    if (!m_tabs || !m_store) {
        return;
    }
    while (m_tabs->count() > kFixedTabs) {
        QWidget* page = m_tabs->widget(kFixedTabs);
        m_tabs->removeTab(kFixedTabs);
        // Out of the window at once, so that pad ids find only the new tabs' pads.
        page->hide();
        page->setParent(nullptr);
        page->deleteLater();
    }
    const size_t tabs = std::min(m_store->CategoryCount(), kMaxCloudTabs);
    for (size_t k = 0; k < tabs; ++k) {
        QScrollArea* view = AddCloudTab(k);
        BuildGrid(view, m_store->CategoryItems(k), kCloudPadFirst + 1000 * int(k), false);
    }
}

std::optional<MoodItem> CEventHandlerSound::DownloadedCopy(const MoodItem& entry) const {
    if (!m_store || entry.kind != kMoodCloud) {
        return std::nullopt;
    }
    std::optional<MoodItem> copy = m_store->FindDownloaded(entry.cloudId);
    std::error_code ec;
    if (!copy || !std::filesystem::is_regular_file(ClipFilePath(*copy), ec)) {
        return std::nullopt;
    }
    return copy;
}

CloudDownloadStart CEventHandlerSound::StartCloudDownload(int id, int32_t mode) {
    if (!m_cloud) {
        return CloudDownloadStart::kIgnored;
    }
    // An old copy is deleted before the new download: the page's player may have it open.
    const CloudDownloadStart started = m_cloud->StartDownload(id, mode, [this] {
        m_holder.StopPlayer();
        m_holder.ReleasePlayer();
        ResetBar();
    });
    if (started == CloudDownloadStart::kFailed) {
        VLOG_ERROR("sound", "StartCloudDownload", "download of pad %d not started", id);
        Tip(QStringLiteral("下载文件失败"), true);
    }
    return started;
}

bool CEventHandlerSound::ClickCloudPad(int id, const MoodItem& entry) {
    if (const std::optional<MoodItem> copy = DownloadedCopy(entry)) {
        return PlayClip(*copy);
    }
    StartCloudDownload(id, kCloudPlay);
    return false;  // it plays when the download is in
}

void CEventHandlerSound::OnCloudFileReady(const CloudFileOutcome& outcome) {
    if (!outcome.ready) {
        // Only the pad the user is still at hears of it.
        if (outcome.padId == m_lastClicked || outcome.padId == m_lastRightClicked) {
            Tip(Q(outcome.error), true);
        }
        return;
    }
    BuildDownloadGrid();
    switch (outcome.mode) {
        case kCloudPlay:
            StopPlaying();
            PlayClip(outcome.item);
            break;
        case kCloudFavourite:
            if (outcome.alreadyFavourite) {
                Tip(QStringLiteral("收藏夹中已经存在“%1”").arg(Q(ClipName(outcome.item))), true);
            } else if (outcome.favouriteAdded) {
                BuildFavouriteGrid();
                if (outcome.padId == m_lastRightClicked) {
                    Tip(QStringLiteral("成功添加到收藏夹！"));
                }
            } else if (outcome.padId == m_lastRightClicked) {
                Tip(QStringLiteral("添加到收藏夹失败"), true);
            }
            break;
        case kCloudSendToCard:
            if (outcome.padId == m_lastRightClicked) {
                ccm_util::EventBus::Instance().Post(
                    std::make_shared<EventDoSendData>(ClipPath(outcome.item), false));
            }
            break;
        default:
            break;
    }
}

}  // namespace sound::ui
