#include "sound/ui/SendWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include "ClipSlots.h"
#include "toolkit/Layouts.h"
#include "toolkit/MessageBox.h"
#include "toolkit/SProgress.h"
#include "ui_XML_SENDDATA.h"

namespace sound::ui {

using sound::clip::ClipOutcome;
using sound::clip::ClipStage;

namespace {

const QString kLayout = QStringLiteral("XML_SENDDATA");

const QString& SendLayout() {
    if (!toolkit::HasLayout(kLayout)) {
        VELORA_REGISTER_LAYOUT(XML_SENDDATA);
    }
    return kLayout;
}

SendWindowContext& Context() {
    static SendWindowContext context;
    return context;
}

}  // namespace

bool ReadClipResource(const std::u16string& name, std::vector<uint8_t>& bytes) {
    bytes.clear();
    QString path = QString::fromStdU16String(name);
    if (path.isEmpty()) {
        return false;
    }
    if (!path.startsWith(QLatin1Char(':'))) {
        // A built-in clip is named as the store keeps it: the resource without its extension.
        path = QStringLiteral(":/clips/") + path;
        if (!path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive)) {
            path += QStringLiteral(".mp3");
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray data = file.readAll();
    bytes.assign(data.begin(), data.end());
    return !bytes.empty();
}

SendWindow::SendWindow(const sound::clip::ClipSendRequest& request, CQVAudioProtocol& protocol,
                       std::atomic<int>& loadingEffect, QWidget* owner)
    : toolkit::CHostDialog(SendLayout(), owner, Qt::Tool | Qt::FramelessWindowHint),
      m_request(request),
      m_job(std::make_unique<sound::clip::CClipSendJob>(protocol, loadingEffect, *this)) {
    setObjectName(QStringLiteral("SendWindow"));
    setWindowTitle(QStringLiteral("数据传输中，请稍等"));
    setFixedSize(320, 150);
    m_waiting = FindChildByName(QStringLiteral("waitting_tip"));
    m_sending = FindChildByName(QStringLiteral("send_progress"));
    m_progress = FindChildByName<SProgress>(QStringLiteral("mood_effect"));
    m_tip = FindChildByName<QLabel>(QStringLiteral("txt_tip"));
    m_job->SetResourceReader(&ReadClipResource);
}

SendWindow::~SendWindow() = default;

void SendWindow::SetResourceReader(sound::clip::CLibmadDecoder::ResourceReader reader) {
    m_job->SetResourceReader(std::move(reader));
}

void SendWindow::Start() {
    m_job->Start(m_request);
}

void SendWindow::OnClipStage(ClipStage stage) {
    if (stage == ClipStage::Decoding || stage == ClipStage::WaitingForCard) {
        if (m_tip) {
            m_tip->setText(stage == ClipStage::Decoding
                               ? QStringLiteral("正在解码特效文件...")
                               : QStringLiteral("正在等待设备接受数据..."));
        }
        if (m_waiting)
            m_waiting->show();
        if (m_sending)
            m_sending->hide();
    } else if (stage == ClipStage::Sending) {
        if (m_waiting)
            m_waiting->hide();
        if (m_sending)
            m_sending->show();
    }
}

void SendWindow::OnClipProgress(uint32_t sent, uint32_t total) {
    if (m_progress) {
        m_progress->setRange(0, static_cast<int>(total));
        m_progress->setValue(static_cast<int>(sent));
    }
}

void SendWindow::OnClipFinished(ClipOutcome outcome) {
    m_outcome = outcome;
    switch (outcome) {
        case ClipOutcome::DecodeFailed:
            m_failure = QStringLiteral("特效解码失败");
            break;
        case ClipOutcome::ThreadFailed:
            m_failure = QStringLiteral("创建线程失败");
            break;
        case ClipOutcome::TransferFailed:
            // Says why: the card stopped taking the clip's blocks (unplugged, or it did not
            // answer).
            m_failure = QStringLiteral(
                "载入特效失败：声卡没有接收完数据。请检查声卡是否已连接，然后重试。");
            break;
        default:
            break;
    }
    // Out of the job's call: the message box runs a loop of its own.
    QTimer::singleShot(0, this, [this] { EndWithMessage(); });
}

void SendWindow::EndWithMessage() {
    if (!m_failure.isEmpty()) {
        QPointer<SendWindow> self(this);
        const QString caption = m_outcome == ClipOutcome::ThreadFailed ? QStringLiteral("错误")
                                                                       : QStringLiteral("提示");
        toolkit::SMessageBox(this, m_failure, caption, toolkit::MB_OK | toolkit::MB_ICONWARNING);
        if (!self) {
            return;
        }
    }
    EndDialog(m_outcome == ClipOutcome::Sent ? toolkit::IDOK : toolkit::IDCANCEL);
}

bool SendWindow::OnControlEvent(const toolkit::ControlEvent& ev) {
    if (ev.kind == toolkit::EventKind::Command &&
        (ev.controlName == QLatin1String("btn_close") || ev.controlId == 1 || ev.controlId == 2)) {
        return true;  // no way out but the end of the transfer
    }
    return toolkit::CHostDialog::OnControlEvent(ev);
}

void SendWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void SetSendWindowContext(SendWindowContext context) {
    Context() = std::move(context);
}

int RunSendWindow(QWidget* parent, const std::u16string& path, bool fromResource, int slot,
                  int volume) {
    const SendWindowContext& context = Context();
    if (!context.protocol || !context.loadingEffect || context.loadingEffect->load() != 0 ||
        sound::clip::SlotSeconds(slot) == 0) {
        return -1;
    }
    sound::clip::ClipSendRequest request{path, fromResource, slot, volume};
    SendWindow window(request, *context.protocol, *context.loadingEffect, parent);
    if (context.readResource) {
        window.SetResourceReader(context.readResource);
    }
    window.Start();
    window.exec();
    return window.Outcome() == ClipOutcome::Sent ? 1 : 0;
}

}  // namespace sound::ui
