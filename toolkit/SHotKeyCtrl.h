#pragma once

#include <QLineEdit>
#include <cstdint>

// The toolkit's hot-key control: shows the key combination the user presses ("Ctrl+Shift+F1")
// and holds it as virtual-key code and modifier flags (toolkit/HotKey.h). Backspace or Delete
// without modifiers clears it. Input methods are off, so every key reaches it.
class SHotKeyCtrl : public QLineEdit {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "hotkey")
public:
    explicit SHotKeyCtrl(QWidget* parent = nullptr);

    void SetHotKey(uint16_t vk, uint16_t modifiers);
    uint16_t Key() const { return m_vk; }
    uint16_t Modifiers() const { return m_mods; }
    uint32_t HotKey() const;
    QString HotKeyText() const;

signals:
    void hotKeyChanged(uint32_t hotkey);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void ShowCurrent();

    uint16_t m_vk = 0;
    uint16_t m_mods = 0;
};
