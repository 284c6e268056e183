#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

// A registered layout built on its own in a window, for looking at it and for screenshots:
// "XML_DLG..." layouts in a dialog (shown without a modal loop), the others in a host window,
// as the program shows them. A layout whose dialog is built (XML_DLG_EQ) shows that dialog at
// work instead of the bare layout.
class CLayoutPreview {
public:
    // Null when no layout of that name is registered.
    static std::unique_ptr<CLayoutPreview> Create(const QString& layoutName);

    QWidget* Window() const { return m_window.get(); }
    void Show();
    // Shows controls a page would show (overlays, panels hidden by default); false when one of
    // the names is not in the layout.
    bool ShowControls(const QStringList& names);
    // Selects a page of a tab control, given as "tab_name=index".
    bool SelectPage(const QString& tabAndIndex);
    // A PNG of the window alone, at its own size.
    bool SaveScreenshot(const QString& path) const;

private:
    CLayoutPreview(std::unique_ptr<QWidget> window, std::shared_ptr<void> keep)
        : m_keep(std::move(keep)), m_window(std::move(window)) {}
    std::shared_ptr<void> m_keep;  // what the window uses (a dialog's workspace); outlives it
    std::unique_ptr<QWidget> m_window;
};
