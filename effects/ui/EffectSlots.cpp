// The effects page's own effects in the card's two remote-control slots, and downloaded effects
// added to the own effects: each told and stored only once the card took it.
#include <QPointer>

#include "EffectView.h"
#include "WorkSpace.h"
#include "effects/ui/EventHandlerEffect.h"
#include "effects/ui/RecordQtText.h"

namespace effects::ui {

void CEventHandlerEffect::SaveMyEffectToSlot(int slot, std::function<void(bool)> told) {
    const int index = m_menuTarget - kEffectButtonFirst - kDeviceEffectButtons;
    m_menuTarget = -1;
    if (!IsConnected() || index < 0 || index >= CWorkSpace::kCustomSlots ||
        (slot != 1 && slot != 2)) {
        told(false);
        return;
    }
    const model::EffectRecord record = m_workspace->CustomEffects()[static_cast<size_t>(index)];
    const int deviceButton = slot + 4;
    std::weak_ptr<int> alive = m_alive;
    if (record.downloaded) {
        // The effect's number says what the slot holds; the card's answer to the store adds
        // nothing. The record is kept once the card took the number.
        m_workspace->StoreToSlot(slot, {});
        const int n = effects::EffectNumberOfIdentifier(model::RecordText(record.source));
        if (!m_workspace->SelectEffectNumber(n)) {
            told(false);
            return;
        }
        AfterSent([this, slot, record, deviceButton, n, told](bool sent) {
            if (sent && m_workspace->SaveDeviceCustomEffect(slot - 1, record, 1)) {
                RefreshButtonCaptions();
                if (IsButtonChecked(deviceButton)) {
                    m_workspace->SelectEffectNumber(n);
                }
            }
            told(sent);
        });
        return;
    }
    // The card answers on the card worker; the record and the tip follow its answer.
    m_workspace->StoreToSlot(slot, [this, alive, slot, record, deviceButton, told](bool stored) {
        if (alive.expired()) {
            return;
        }
        if (stored && m_workspace->SaveDeviceCustomEffect(slot - 1, record, 0)) {
            RefreshButtonCaptions();
            if (IsButtonChecked(deviceButton)) {
                m_workspace->SelectEffectNumber(deviceButton);
            }
        }
        told(stored);
    });
}

bool CEventHandlerEffect::SaveEffectToSlot(std::u16string_view identifier, int slot,
                                           std::u16string_view name) {
    if (!IsConnected() || (slot != 1 && slot != 2)) {
        return false;
    }
    m_workspace->StoreToSlot(slot, {});  // the card's answer tells nothing more
    const int n = effects::EffectNumberOfIdentifier(identifier);
    if (!m_workspace->SelectEffectNumber(n)) {
        Tip(QStringLiteral("保存到设备失败"), true);
        return false;
    }
    model::EffectRecord record{};
    model::SetRecordText(record.name, name);
    model::SetRecordText(record.source, identifier);
    record.downloaded = 1;
    // Told and stored once the card took the number, not when it was handed over.
    AfterSent([this, slot, n, record](bool sent) {
        if (!sent) {
            Tip(QStringLiteral("保存到设备失败"), true);
            return;
        }
        if (m_workspace->SaveDeviceCustomEffect(slot - 1, record, 1)) {
            RefreshButtonCaptions();
            Tip(QStringLiteral("成功保存到设备"), false);
        }
        if (IsButtonChecked(slot + 4)) {
            m_workspace->SelectEffectNumber(n);
        }
    });
    return true;
}

void CEventHandlerEffect::AddToMyEffects(int index, std::u16string_view name,
                                         std::u16string_view identifier) {
    if (!m_workspace) {
        return;
    }
    const auto& custom = m_workspace->CustomEffects();
    const int existing = effects::CustomSlotWithSource(custom, identifier);
    if (existing >= 0) {
        Tip(QStringLiteral("我的音效自定义中已存在相同音效，名称为\"%1\"")
                .arg(FromU16(custom[static_cast<size_t>(existing)].name)),
            true, 3000);
        return;
    }
    if (!m_workspace->AddDownloadedToMyCustom(name, identifier, index)) {
        Tip(QStringLiteral("音效添加失败"), true);
        return;
    }
    RefreshButtonCaptions();
    Tip(QStringLiteral("“%1”音效成功添加到我的音效列表中").arg(FromU16(name)), false);
    if (IsButtonChecked(index + kDeviceEffectButtons) &&
        m_workspace->SelectDownloadedEffect(effects::EffectNumberOfIdentifier(identifier) - 7,
                                            name)) {
        EffectApplied();
    }
}

}  // namespace effects::ui
