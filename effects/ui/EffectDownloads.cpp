// The effects page's use of downloaded effects: an effect file loaded into the card (with the
// download's progress and its end), or an effect number the card already holds.
#include <algorithm>

#include "WorkSpace.h"
#include "ccm_util/AppMessages.h"
#include "effects/ui/EventHandlerEffect.h"
#include "effects/ui/RecordQtText.h"
#include "toolkit/SProgress.h"

namespace effects::ui {

bool CEventHandlerEffect::UseEffectFile(std::u16string_view name,
                                        const std::filesystem::path& path) {
    if (!IsConnected()) {
        return false;
    }
    if (m_forbidOperation) {
        m_forbidOperation->show();
        m_forbidOperation->raise();
    }
    m_loadingName = FromU16(name);
    if (!m_workspace->LoadEffectFile(path)) {
        if (m_forbidOperation) {
            m_forbidOperation->hide();
        }
        return false;
    }
    m_workspace->SetFileEffect(name, path);
    EffectApplied();
    return true;
}

void CEventHandlerEffect::UseEffectNumber(int number, std::u16string_view name) {
    if (!IsConnected()) {
        return;
    }
    const QString failed = QStringLiteral("%1音效使用失败!").arg(FromU16(name));
    if (!m_workspace->SelectDownloadedEffect(number, name)) {
        Tip(failed, true);
        return;
    }
    EffectApplied();
    AfterSent([this, failed](bool sent) {
        if (!sent) {
            Tip(failed, true);
        }
    });
}

void CEventHandlerEffect::OnDownloadNotice(ccm_util::WPARAM what, ccm_util::LPARAM value) {
    if (what == kNotifyDownloadProgress) {
        if (m_progress) {
            if (value == 0) {
                m_progress->show();
            }
            m_progress->setValue(static_cast<int>(std::clamp<ccm_util::LPARAM>(value, 0, 100)));
        }
        return;
    }
    if (m_progress) {
        m_progress->hide();
    }
    if (m_forbidOperation) {
        m_forbidOperation->hide();
    }
    if (value == 0) {
        Tip(QStringLiteral("%1%2音效失败!").arg(QStringLiteral("使用"), m_loadingName), true);
    }
}

}  // namespace effects::ui
