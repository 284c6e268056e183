#pragma once

#include <QPoint>
#include <QString>

#include "toolkit/HostWindow.h"

// The transient tip, through which the pages show short results and validation
// failures. At most one exists: a new tip while one is shown reuses the window and restarts its
// timer (id 100) with the new duration; when the timer fires the window is destroyed.
//
// Anchor kinds place the window relative to the point: 0 its top-left, 1 its bottom-left, 2 its
// top-right, 3 its bottom-right, 4 the middle of its top edge.
class CTipWnd : public toolkit::CHostWindow {
    Q_OBJECT
public:
    static constexpr int kTimerId = 100;

    static void ShowTip(int x, int y, int anchorKind, const QString& text, int durationMs,
                        bool warning);
    // In the middle of the window (or at the cursor without one), anchor 4; an empty text shows
    // nothing and leaves a visible tip alone.
    static void ShowTipOnWindow(QWidget* host, const QString& text, bool warning = false,
                                int durationMs = 2000);
    // A warning tip at a screen point for 2000 ms; an empty text shows nothing.
    static void ShowTipAt(const QString& text, int x, int y);
    // The tip shown now, or null.
    static CTipWnd* Instance();
    // Destroys the tip at once (the program's exit).
    static void Destroy();

    QString Text() const;
    bool IsWarning() const;
    int Duration() const { return m_duration; }
    QPoint Anchor() const { return m_anchor; }
    int AnchorKind() const { return m_anchorKind; }
    // The window's top-left for its size and the anchor.
    QPoint PositionFor(const QSize& size) const;

protected:
    void OnTimer(int id) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    CTipWnd();
    void Place();

    QPoint m_anchor;
    int m_anchorKind = 0;
    int m_duration = 0;
};
