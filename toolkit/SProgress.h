#pragma once

#include <QString>
#include <QWidget>

// The toolkit's progress bar ("progress"): the background skin over the control and the position
// skin over the part proportional to the value, growing from the left or (vertical) the bottom;
// with "showPercent" the percentage is written in the middle. Repaints only when the value
// changes.
class SProgress : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "progress")
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(bool vertical READ vertical WRITE setVertical)
    Q_PROPERTY(QString bkgndSkin READ bkgndSkin WRITE setBkgndSkin)
    Q_PROPERTY(QString posSkin READ posSkin WRITE setPosSkin)
    Q_PROPERTY(bool showPercent READ showPercent WRITE setShowPercent)
public:
    explicit SProgress(QWidget* parent = nullptr);

    int minimum() const { return m_min; }
    void setMinimum(int v) { setRange(v, qMax(v, m_max)); }
    int maximum() const { return m_max; }
    void setMaximum(int v) { setRange(qMin(m_min, v), v); }
    void setRange(int min, int max);
    int value() const { return m_value; }
    // Clamped to the range.
    virtual void setValue(int v);
    bool vertical() const { return m_vertical; }
    void setVertical(bool v);
    QString bkgndSkin() const { return m_bkgndSkin; }
    void setBkgndSkin(const QString& s);
    QString posSkin() const { return m_posSkin; }
    void setPosSkin(const QString& s);
    bool showPercent() const { return m_showPercent; }
    void setShowPercent(bool b);

    QSize sizeHint() const override;

signals:
    void valueChanged(int value);

protected:
    // The part of the control the position skin covers for value v.
    QRect PositionRect(int v) const;
    void PaintBar(QPainter& p, int v) const;
    void paintEvent(QPaintEvent* event) override;

    int m_min = 0;
    int m_max = 100;
    int m_value = 0;

private:
    bool m_vertical = false;
    QString m_bkgndSkin;
    QString m_posSkin;
    bool m_showPercent = false;
};
