#include "DlgDoctor.h"

#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>

#include "Log/Log.h"
#include "ccm_util/LastResort.h"
#include "toolkit/Layouts.h"
#include "ui_XML_DOCTOR.h"

#define LOG_SOURCE "doctor\\ui\\DlgDoctor"

namespace {

const QString kLayout = QStringLiteral("XML_DOCTOR");

const QString& DoctorLayout() {
    CDlgDoctor::RegisterLayout();
    return kLayout;
}

QString Utf8(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

// The level as a word in its colour: the accent for passed, the theme's warning, a calm red.
QString LevelBadge(doctor::Level level) {
    switch (level) {
        case doctor::Level::Ok:
            return QStringLiteral("<span style=\"color:#00F6FF\">正常</span>");
        case doctor::Level::Warn:
            return QStringLiteral("<span style=\"color:#FFB547\">注意</span>");
        case doctor::Level::Fail:
            return QStringLiteral("<span style=\"color:#FF6B6B\">失败</span>");
    }
    return {};
}

}  // namespace

void CDlgDoctor::RegisterLayout() {
    if (!toolkit::HasLayout(kLayout)) {
        VELORA_REGISTER_LAYOUT(XML_DOCTOR);
    }
}

CDlgDoctor::CDlgDoctor(QWidget* owner, doctor::Options options)
    : toolkit::CHostDialog(DoctorLayout(), owner), m_options(std::move(options)) {
    setObjectName(QStringLiteral("DlgDoctor"));
    setWindowTitle(QStringLiteral("诊断"));
    m_result = FindChildByName<QTextBrowser>(QStringLiteral("txt_result"));
    m_state = FindChildByName<QLabel>(QStringLiteral("txt_state"));
    m_again = FindChildByName<QPushButton>(QStringLiteral("btn_again"));
    Events().OnCommand(QStringLiteral("btn_again"), [this] { StartChecks(); });
    Events().OnCommand(QStringLiteral("btnOK"), [this] { EndDialog(toolkit::IDOK); });
    Events().OnCommand(QStringLiteral("btn_close"), [this] { EndDialog(toolkit::IDCANCEL); });
    OnMessageId(kMsgChecksDone, [this](ccm_util::WPARAM, ccm_util::LPARAM) { OnChecksDone(); });
    StartChecks();
}

CDlgDoctor::~CDlgDoctor() {
    JoinWorker();
}

void CDlgDoctor::JoinWorker() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CDlgDoctor::StartChecks() {
    if (m_running) {
        return;
    }
    JoinWorker();  // the last run has posted already
    m_running = true;
    if (m_state) {
        m_state->setText(QStringLiteral("正在检查…"));
    }
    if (m_again) {
        m_again->setEnabled(false);
    }
    const ccm_util::WindowHandle self = Handle();
    m_worker = std::thread([this, self, options = m_options] {
        std::vector<doctor::CheckResult> results;
        ccm_util::RunGuarded("doctor", [&] { results = doctor::RunChecks(options); });
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = std::move(results);
        }
        // Dropped by the poster when the dialog is gone; its destructor waits for this thread.
        ccm_util::PostMessage(self, kMsgChecksDone, 0, 0);
    });
}

void CDlgDoctor::OnChecksDone() {
    JoinWorker();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shown = std::move(m_done);
        m_done.clear();
    }
    m_running = false;
    Show();
}

void CDlgDoctor::Show() {
    int failed = 0;
    int warned = 0;
    QString html;
    for (const doctor::CheckResult& r : m_shown) {
        failed += r.level == doctor::Level::Fail;
        warned += r.level == doctor::Level::Warn;
        html += QStringLiteral("<p style=\"margin-bottom:8px\">%1&nbsp;&nbsp;<b>%2</b><br/>%3")
                    .arg(LevelBadge(r.level), Utf8(r.title), Utf8(r.found));
        if (!r.todo.empty()) {
            html += QStringLiteral("<br/><span style=\"color:#8A96A3\">处理：%1</span>")
                        .arg(Utf8(r.todo));
        }
        html += QStringLiteral("</p>");
    }
    if (m_result) {
        m_result->setHtml(html);
    }
    if (m_state) {
        m_state->setText(failed
                             ? QStringLiteral("%1 项未通过，%2 项需要注意").arg(failed).arg(warned)
                         : warned ? QStringLiteral("全部通过，%1 项需要注意").arg(warned)
                                  : QStringLiteral("全部检查通过"));
    }
    if (m_again) {
        m_again->setEnabled(true);
    }
    VLOG_INFO("ui", "CDlgDoctor::Show", "%d checks, %d failed, %d warned",
              static_cast<int>(m_shown.size()), failed, warned);
}
