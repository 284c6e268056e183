#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

// The effects page's dialogs with their own logic over a scratch workspace (its settings in a
// temporary folder), for looking at them and for screenshots: "reverb", "voice" (the reverb
// dialog on its voice page), "reverb-nocard" (covered, as without a card), "savepreset",
// "saveeffect" and "sendclip" (a clip on its way to the card).
class CDialogPreview {
public:
    static QStringList Names();
    // Null for an unknown name.
    static std::unique_ptr<CDialogPreview> Create(const QString& name);
    ~CDialogPreview();

    QWidget* Window() const;

private:
    struct Impl;
    explicit CDialogPreview(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};
