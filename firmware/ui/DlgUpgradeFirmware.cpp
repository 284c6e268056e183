#include "DlgUpgradeFirmware.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include "FirmwareTexts.h"
#include "Log/Log.h"
#include "toolkit/Layouts.h"
#include "toolkit/MessageBox.h"
#include "toolkit/SProgress.h"
#include "ui_XML_UPGRADEFIRMWARE.h"

#define LOG_SOURCE "firmware\\ui\\DlgUpgradeFirmware"

using namespace firmware;

namespace {

const QString kLayout = QStringLiteral("XML_UPGRADEFIRMWARE");
// Errors in red (the toolkit's colours are RGBA); ordinary messages in the theme's text colour,
// since a fixed dark grey would vanish on the dark theme.
const QString kErrorStyle = QStringLiteral("color: rgba(200, 0, 0, 255);");
const QString kMessageStyle;

const QString& UpgradeLayout() {
    CDlgUpgradeFirmware::RegisterLayout();
    return kLayout;
}

QString Utf8(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void CDlgUpgradeFirmware::RegisterLayout() {
    if (!toolkit::HasLayout(kLayout)) {
        VELORA_REGISTER_LAYOUT(XML_UPGRADEFIRMWARE);
    }
}

CDlgUpgradeFirmware::CDlgUpgradeFirmware(std::unique_ptr<ICardLink> link,
                                         std::unique_ptr<IFirmwareServer> server,
                                         std::atomic<int>& upgradingFirmware, QWidget* owner)
    : toolkit::CHostDialog(UpgradeLayout(), owner),
      m_link(std::move(link)),
      m_server(std::move(server)),
      m_upgradingFirmware(upgradingFirmware),
      m_manager(std::make_unique<CFirmwareUpgradeManager>(*m_link, m_server.get(), Handle(),
                                                          &upgradingFirmware)),
      m_confirm([](QWidget* owner) {
          return toolkit::SMessageBox(owner, QString::fromUtf8(kUpgradeWarning),
                                      QStringLiteral("注意事项"),
                                      toolkit::MB_OKCANCEL) == toolkit::IDOK;
      }) {
    setObjectName(QStringLiteral("DlgUpgradeFirmware"));
    setWindowTitle(QStringLiteral("固件升级"));
    m_msg = FindChildByName<QLabel>(QStringLiteral("txt_msg"));
    m_action = FindChildByName<QLabel>(QStringLiteral("txt_currentaction"));
    m_progress = FindChildByName<SProgress>(QStringLiteral("progress"));
    Events().OnCommand(QStringLiteral("btn_retry"), [this] { OnRetryClicked(); });
    Events().OnCommand(QStringLiteral("btn_upgrade"), [this] { OnUpgradeClicked(); });
    Events().OnCommand(QStringLiteral("btn_OK"), [this] { EndDialog(toolkit::IDOK); });
    Events().OnCommand(QStringLiteral("btn_close"), [this] { CloseUnlessWriting(toolkit::IDCANCEL); });
    Events().OnCommand(QStringLiteral("btn_exit"), [this] { CloseUnlessWriting(toolkit::IDCANCEL); });
    OnTimerId(kStartTimerId, [this] {
        KillTimer(kStartTimerId);
        CheckCard();
    });
    SetTimer(kStartTimerId, kStartDelayMs);
}

CDlgUpgradeFirmware::~CDlgUpgradeFirmware() {
    // The manager's workers end first: they use the link and post to this window.
    m_manager.reset();
    m_upgradingFirmware = 0;
}

void CDlgUpgradeFirmware::CloseUnlessWriting(int code) {
    if (Writing()) {
        ++m_refusedCloses;
        VLOG_INFO("firmware", "CDlgUpgradeFirmware", "close refused while the firmware is written");
        return;
    }
    EndDialog(code);
}

void CDlgUpgradeFirmware::reject() { CloseUnlessWriting(toolkit::IDCANCEL); }

void CDlgUpgradeFirmware::closeEvent(QCloseEvent* event) {
    if (Writing()) {
        ++m_refusedCloses;
        VLOG_INFO("firmware", "CDlgUpgradeFirmware", "close refused while the firmware is written");
        event->ignore();
        return;
    }
    toolkit::CHostDialog::closeEvent(event);
}

void CDlgUpgradeFirmware::done(int code) {
    if (Writing()) {
        // Only the program's end gets here now (SIGTERM, the session's end).
        VLOG_WARN("firmware", "CDlgUpgradeFirmware",
                  "the program ends while the firmware is written: the writer stops after the "
                  "block in hand; the next start offers the upgrade again");
    }
    toolkit::CHostDialog::done(code);
}

void CDlgUpgradeFirmware::Show(const char* name, bool visible) {
    if (QWidget* w = FindChildByName<QWidget>(QString::fromLatin1(name))) {
        w->setVisible(visible);
    }
}

void CDlgUpgradeFirmware::SetAction(const QString& text) {
    if (m_action) {
        m_action->setText(text);
        m_action->setVisible(true);
    }
}

void CDlgUpgradeFirmware::SetProgress(int value) {
    if (m_progress) {
        m_progress->setRange(0, 100);
        m_progress->setValue(value);
        m_progress->setVisible(true);
    }
}

void CDlgUpgradeFirmware::ShowError(const QString& text) {
    // Every error the user sees is in the log too, with where the dialog stood.
    VLOG_WARN("firmware", "CDlgUpgradeFirmware", "shows the error (state %d): %s",
              static_cast<int>(m_state), text.toUtf8().constData());
    if (m_msg) {
        m_msg->setStyleSheet(kErrorStyle);
        m_msg->setText(text);
        m_msg->setVisible(true);
    }
}

void CDlgUpgradeFirmware::ShowMessage(const QString& text) {
    if (m_msg) {
        m_msg->setStyleSheet(kMessageStyle);
        m_msg->setText(text);
        m_msg->setVisible(true);
    }
}

void CDlgUpgradeFirmware::SetExtendTop(QLabel* label, int top) {
    if (label) {
        label->setContentsMargins(0, top, 0, 0);
    }
}

void CDlgUpgradeFirmware::CheckCard() {
    m_state = kCheckingCard;
    Show("txt_msg", false);
    Show("btn_retry", false);
    SetAction(QStringLiteral("正在准备..."));
    SetProgress(0);
    std::string busy;
    if (CFirmwareWriterLock::HeldElsewhere(busy)) {
        // Another program writes the loader now: this dialog touches nothing meanwhile.
        SetAction(QStringLiteral("正在检测设备..."));
        ShowError(Utf8(busy));
        Show("btn_retry", true);
        return;
    }
    // Left in its loader by an upgrade that failed, before this start or in this session (then
    // the loader is the device open now): the upgrade is offered again.
    if (m_link->LoaderOpen() || (!m_link->IsOpen() && m_link->LoaderPresent())) {
        if (!m_manager->UseCardInLoader()) {
            SetAction(QStringLiteral("正在检测设备..."));
            ShowError(Utf8(m_manager->ErrorText()));
            return;  // no retry: nothing here can tell the card's hardware
        }
        m_state = kCardFound;
        AskServer();
        return;
    }
    if (!m_link->IsOpen()) {
        SetAction(QStringLiteral("正在检测设备..."));
        ShowError(QString::fromUtf8(kErrNoCard));
        Show("btn_retry", true);
        return;
    }
    // The card answers on the manager's worker; the window stays live meanwhile.
    if (!m_manager->StartReadDeviceInfo()) {
        Show("btn_retry", true);
    }
}

void CDlgUpgradeFirmware::AskServer() {
    m_state = kAskingServer;
    SetAction(QStringLiteral("正在连接服务器..."));
    SetProgress(15);
    m_manager->ClearError();
    if (!m_manager->StartCheckServer()) {
        Show("btn_retry", true);
    }
}

void CDlgUpgradeFirmware::StartDownload() {
    m_state = kDownloading;
    SetAction(QStringLiteral("正在下载固件文件..."));
    SetProgress(50);
    m_manager->ClearError();
    m_manager->ClearSteps();
    if (!m_manager->StartDownload()) {
        Show("btn_retry", true);
    }
}

void CDlgUpgradeFirmware::OnUpgradeClicked() {
    if (m_loading && m_loading()) {
        ShowError(QString::fromUtf8(kErrLineBusy));
        return;
    }
    if (!m_confirm(this)) {
        return;
    }
    if (m_loading && m_loading()) {  // it may have started while the warning was open
        ShowError(QString::fromUtf8(kErrLineBusy));
        return;
    }
    StartUpgrade();
}

void CDlgUpgradeFirmware::StartUpgrade() {
    m_state = kWriting;
    Show("btn_close", false);
    Show("btn_retry", false);
    Show("btn_upgrade", false);
    ShowMessage(QString::fromUtf8(kWritingNotice));
    SetAction(QStringLiteral("正在检测升级条件..."));
    SetProgress(0);
    m_manager->ClearError();
    m_upgradingFirmware = 1;  // from the click on: the exit guard holds until the result is in
    if (!m_manager->StartUpgrade()) {
        m_upgradingFirmware = 0;
        Show("btn_close", true);
        Show("btn_retry", true);
    }
}

void CDlgUpgradeFirmware::OnRetryClicked() {
    Show("txt_msg", false);
    Show("btn_retry", false);
    SetProgress(0);
    switch (m_state) {
        case kCheckingCard:
            CheckCard();
            break;
        case kAskingServer:
            AskServer();
            break;
        case kServerAnswered:
            m_state = kToDownload;
            StartDownload();
            break;
        case kDownloading:
        case kUnpacking:
            StartDownload();
            break;
        case kWriting:
            StartUpgrade();
            break;
        default:
            break;
    }
}

bool CDlgUpgradeFirmware::OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam,
                                          ccm_util::LPARAM lParam) {
    if (msg == UM_FW_PHASE) {
        OnPhase(static_cast<int>(wParam), lParam != 0);
        return true;
    }
    if (msg == UM_FW_STATUS) {
        OnStatus(static_cast<int>(wParam), static_cast<long long>(lParam));
        return true;
    }
    return toolkit::CHostDialog::OnWindowMessage(msg, wParam, lParam);
}

void CDlgUpgradeFirmware::OnStatus(int code, long long argument) {
    switch (code) {
        case kStatusPrepare:
            SetAction(QStringLiteral("准备升级固件..."));
            break;
        case kStatusDownloading:
            SetAction(QStringLiteral("正在下载固件文件..."));
            break;
        case kStatusDownloaded:
            SetProgress(70);
            break;
        case kStatusUnpacking:
            m_state = kUnpacking;
            SetAction(QStringLiteral("正在解压文件..."));
            SetProgress(80);
            break;
        case kStatusUnpacked:
            m_state = kUnpacked;
            break;
        case kStatusConnecting:
            SetAction(QStringLiteral("正在连接设备..."));
            SetProgress(0);
            break;
        case kStatusWritingStep: {
            const std::vector<Step> steps = m_manager->StepsWithoutImages();
            const QString version = argument >= 0 && argument < static_cast<long long>(steps.size())
                                        ? Utf8(steps[static_cast<size_t>(argument)].version)
                                        : QString();
            SetAction(QStringLiteral("正在写入固件V%1...").arg(version));
            SetProgress(0);
            break;
        }
        case kStatusRange:
            if (m_progress) {
                m_progress->setRange(0, static_cast<int>(argument));
                m_progress->setValue(0);
            }
            break;
        case kStatusPosition:
            if (m_progress) {
                m_progress->setValue(static_cast<int>(argument));
            }
            break;
        default:
            break;
    }
}

void CDlgUpgradeFirmware::OnPhase(int phase, bool ok) {
    switch (phase) {
        case kPhaseDeviceInfo:
            if (!ok) {
                SetAction(QStringLiteral("正在检测设备..."));
                ShowError(Utf8(m_manager->ErrorText()));
                Show("btn_retry", true);
                return;
            }
            m_state = kCardFound;
            AskServer();
            return;
        case kPhaseServer:
            SetProgress(60);
            if (!ok) {
                ShowError(Utf8(m_manager->ErrorText()));
                Show("btn_retry", true);
                Show("btn_upgrade", false);
                return;
            }
            m_state = kServerAnswered;
            SetAction(QStringLiteral("正在获取服务器固件版本信息..."));
            Show("btn_retry", false);
            Show("btn_upgrade", false);
            m_state = kToDownload;
            StartDownload();
            return;
        case kPhaseDownload: {
            if (!ok) {
                ShowError(Utf8(m_manager->ErrorText()));
                Show("btn_retry", true);
                Show("btn_upgrade", false);
                return;
            }
            m_state = kPackageReady;
            SetProgress(100);
            const QString versions =
                QStringLiteral("当前固件版本：%1\n当前硬件版本：%2\n最新固件版本：%3\n\n")
                    .arg(Utf8(m_manager->CardFirmwareVersion()),
                         Utf8(m_manager->CardHardwareVersion()), Utf8(m_manager->NewestVersion()));
            const bool available = m_manager->UpgradeAvailable();
            ShowMessage(versions + QString::fromUtf8(available ? kClickUpgrade : kUpToDate));
            Show("btn_upgrade", available);
            Show("btn_retry", false);
            Show("txt_currentaction", false);
            Show("progress", false);
            return;
        }
        case kPhaseUpgrade:
            Show("btn_retry", false);
            Show("btn_upgrade", false);
            Show("btn_close", true);
            m_upgradingFirmware = 0;
            if (ok) {
                VLOG_INFO("firmware", "CDlgUpgradeFirmware", "the upgrade finished");
                ShowMessage(QString::fromUtf8(kDoneText));
                SetExtendTop(m_msg, 30);
                if (m_msg) {
                    m_msg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                }
                Show("txt_currentaction", false);
                Show("progress", false);
                Show("btn_OK", true);
                m_state = kFinished;
                m_finished = true;
                m_link->Release();  // until the card is plugged in again
                return;
            }
            if (m_manager->Untouched()) {
                const std::string error = m_manager->ErrorText();
                if (!error.empty()) {
                    ShowError(Utf8(error));
                }
                Show("txt_currentaction", false);
                Show("progress", false);
                Show("btn_retry", true);
                return;
            }
            VLOG_WARN("firmware", "CDlgUpgradeFirmware",
                      "the upgrade failed after the loader was written to: recovery text shown");
            ShowError(Utf8(m_manager->ErrorText()));
            Show("progress", false);
            // The loader is let go: nothing of the panel's reaches it, and the dialog opened again
            // finds it waiting and writes once more.
            m_link->Release();
            if (m_msg && m_msg->text().size() > 23) {
                SetExtendTop(m_msg, 10);
                SetExtendTop(m_action, 10);
            }
            SetAction(QString::fromUtf8(kRecoveryText) + QStringLiteral("客服电话：") +
                      QString::fromUtf8(kServicePhone));
            return;
        default:
            return;
    }
}
