#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

// The plain tool-tip pop-up, shared by all sliders for their value tip: one window
// ("simple tooltip"), created when the first slider needs it and destroyed with the last slider.
class SSimpleToolTip : public QWidget {
    Q_OBJECT
public:
    // Reference counting by the sliders.
    static void AddRef();
    static void Release();
    // The shared window; null when no slider holds it.
    static SSimpleToolTip* Instance();

    // Shows text at a screen point (moved inside the work area of the screen there); an empty
    // text hides the window and clears the text.
    void ShowText(const QString& text, int x, int y);
    QString Text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SSimpleToolTip();
    QString m_text;
    QFont m_font;
};
