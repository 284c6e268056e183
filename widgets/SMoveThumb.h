#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QWidget>

// "moveThumb": a round thumb placed at a fraction of its parent's area ("xFloat", "yFloat").
// Dragging does not move it: it raises "on_thumb_moving" (29100) with the proposed top-left
// point, and the receiver moves it with MoveCentreTo.
class SMoveThumb : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "moveThumb")
    Q_PROPERTY(double xFloat READ xFloat WRITE setXFloat)
    Q_PROPERTY(double yFloat READ yFloat WRITE setYFloat)
    Q_PROPERTY(int canXMove READ canXMove WRITE setCanXMove)
    Q_PROPERTY(int canYMove READ canYMove WRITE setCanYMove)
    Q_PROPERTY(int canOutsize READ canOutsize WRITE setCanOutsize)
    Q_PROPERTY(QColor centerColor READ centerColor WRITE setCenterColor)
public:
    explicit SMoveThumb(QWidget* parent = nullptr);

    double xFloat() const { return m_xFloat; }
    void setXFloat(double f);
    double yFloat() const { return m_yFloat; }
    void setYFloat(double f);
    int canXMove() const { return m_canXMove; }
    void setCanXMove(int v) { m_canXMove = v; }
    int canYMove() const { return m_canYMove; }
    void setCanYMove(int v) { m_canYMove = v; }
    int canOutsize() const { return m_canOutsize; }
    void setCanOutsize(int v) { m_canOutsize = v; }
    QColor centerColor() const { return m_centerColor; }
    void setCenterColor(const QColor& c);
    // The rim colour: the centre colour with 57 added to red, green and blue, each wrapping
    // within 8 bits.
    QColor RimColor() const;

    // Places the thumb in the area with its own size at the fractions (rounded half up). The
    // parent's area is its whole rectangle unless a layout gives another.
    void LayoutIn(const QRect& area);
    QRect Area() const { return m_area; }
    // Moves the thumb's centre to (x, y) and recomputes the fractions.
    void MoveCentreTo(int x, int y);
    bool IsDragging() const { return m_dragging; }

    QSize sizeHint() const override { return QSize(16, 16); }

signals:
    void thumbMoving(const QPoint& proposedTopLeft);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Reposition();

    double m_xFloat = 0.0;
    double m_yFloat = 0.0;
    int m_canXMove = 1;
    int m_canYMove = 1;
    int m_canOutsize = 0;
    QColor m_centerColor{0xC8, 0xC8, 0xC8};
    QRect m_area;
    bool m_dragging = false;
    QPoint m_grab;
};
