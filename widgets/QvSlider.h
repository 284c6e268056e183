#pragma once

#include "toolkit/SSliderBar.h"

// The sliders ("qvslider", "qvslider2"), slider bars with a value tip: with
// "showPercent" the shared tool-tip shows value + "delta" beside the thumb while the mouse hovers
// over the thumb or drags it.
class QvSlider : public SSliderBar {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvslider sliderbar")
    Q_PROPERTY(int thumbInRailX READ thumbInRailX WRITE setThumbInRailX)
    Q_PROPERTY(int SelectPosDeflate READ SelectPosDeflate WRITE setSelectPosDeflate)
    Q_PROPERTY(int delta READ delta WRITE setDelta)
public:
    explicit QvSlider(QWidget* parent = nullptr);
    ~QvSlider() override;

    // "thumbInRail-x": a vertical rail's selected part reaches that many pixels further down.
    int thumbInRailX() const { return m_thumbInRailX; }
    void setThumbInRailX(int px);
    // Narrows the selected part across the rail by that many pixels on each side.
    int SelectPosDeflate() const { return m_selectDeflate; }
    void setSelectPosDeflate(int px);
    int delta() const { return m_delta; }
    void setDelta(int d) { m_delta = d; }

    // The value tip's text and its top-left point in screen coordinates.
    QString TipText() const;
    QPoint TipPos() const;

protected:
    QRect SelectedRect() const override;
    void UpdateValueTip() override;
    void HideValueTip() override;

    bool m_tipShown = false;

private:
    int m_thumbInRailX = 0;
    int m_selectDeflate = 0;
    int m_delta = 0;
};

// "qvslider2": the selected part runs between "selectPos" and the thumb, on whichever side the
// thumb is (a balance slider); the tip also follows wheel and key changes and goes with the focus.
class QvSlider2 : public QvSlider {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvslider2 qvslider sliderbar")
    Q_PROPERTY(int selectPos READ selectPos WRITE setSelectPos)
public:
    explicit QvSlider2(QWidget* parent = nullptr);
    int selectPos() const { return m_selectPos; }
    void setSelectPos(int v);

protected:
    QRect SelectedRect() const override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ShowTipAfterStep();
    int m_selectPos = 0;
};
