#pragma once

#include <QAbstractSlider>
#include <QString>

// The toolkit's slider bar ("sliderbar"): a rail ("bkgndSkin"), the selected part from the
// minimum to the thumb ("posSkin") and a thumb with normal, hover, pressed and disabled states
// ("thumbSkin"). Without skins it paints itself in the theme's colours.
//
// Input: a press on the thumb starts a drag; a press elsewhere sets
// value = minimum + (x - rail left) * (maximum - minimum + 1) / rail width (vertical: from the
// rail's bottom) and starts a drag; a drag moves the value by the pixel distance times
// (maximum - minimum + 1) / rail length. Wheel and keys behave as for the rotary knob. Every
// change by the user raises "on_slider_pos".
class SSliderBar : public QAbstractSlider {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "sliderbar")
    Q_PROPERTY(bool vertical READ IsVertical WRITE setVertical)
    Q_PROPERTY(QString bkgndSkin READ bkgndSkin WRITE setBkgndSkin)
    Q_PROPERTY(QString posSkin READ posSkin WRITE setPosSkin)
    Q_PROPERTY(QString thumbSkin READ thumbSkin WRITE setThumbSkin)
    Q_PROPERTY(bool thumbInRail READ thumbInRail WRITE setThumbInRail)
    Q_PROPERTY(bool showPercent READ showPercent WRITE setShowPercent)
public:
    explicit SSliderBar(QWidget* parent = nullptr);

    bool IsVertical() const { return orientation() == Qt::Vertical; }
    void setVertical(bool v) { setOrientation(v ? Qt::Vertical : Qt::Horizontal); }
    QString bkgndSkin() const { return m_bkgndSkin; }
    void setBkgndSkin(const QString& s);
    QString posSkin() const { return m_posSkin; }
    void setPosSkin(const QString& s);
    QString thumbSkin() const { return m_thumbSkin; }
    void setThumbSkin(const QString& s);
    bool thumbInRail() const { return m_thumbInRail; }
    void setThumbInRail(bool b);
    bool showPercent() const { return m_showPercent; }
    void setShowPercent(bool b) { m_showPercent = b; }

    // Geometry in widget coordinates.
    QRect RailRect() const;
    QRect ThumbRect() const;
    QRect ThumbRectFor(int value) const;
    int RailLength() const;
    // The value a press at this point (not on the thumb) sets.
    int ValueFromRailPoint(const QPoint& pt) const;
    bool IsDragging() const { return m_dragging; }
    bool IsThumbHot() const { return m_thumbHot; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void sliderPos(int value);

protected:
    // The rectangle of the selected part; empty when nothing is selected.
    virtual QRect SelectedRect() const;
    // Called after every change the user makes and when hover or dragging starts or ends.
    virtual void UpdateValueTip() {}
    virtual void HideValueTip() {}
    // Sets the value from user input, raises the slider-position event and repaints.
    void SetValueByUser(int value);
    // The knob's key and wheel rules; true when the key was one of them.
    bool HandleStepKey(int key);
    int HandleWheelNotches(QWheelEvent* event);

    QSize ThumbSize() const;
    int ThumbState() const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetThumbHot(bool hot);

    QString m_bkgndSkin;
    QString m_posSkin;
    QString m_thumbSkin;
    bool m_thumbInRail = false;
    bool m_showPercent = false;
    bool m_dragging = false;
    bool m_thumbHot = false;
    int m_dragStartValue = 0;
    QPoint m_pressPos;
    int m_wheelRemainder = 0;
};
