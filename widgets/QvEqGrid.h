#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

class QvEQ;

// The grid of the equaliser display ("qveqgrid"), a child of QvEQ covering it: the dB lines with
// their labels in the left margin and the frequency lines with theirs under the plot. Lines in
// "colorBorder", labels in "colorText" and the widget's font. The grid is drawn once into a
// pixmap and copied from there: it lies under the curve, so every repaint of the curve during a
// slider drag repaints it too.
class QvEqGrid : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qveqgrid")
    Q_PROPERTY(QColor colorBorder READ colorBorder WRITE setColorBorder)
    Q_PROPERTY(QColor colorText READ colorText WRITE setColorText)
public:
    explicit QvEqGrid(QWidget* parent = nullptr);

    QColor colorBorder() const { return m_colorBorder; }
    void setColorBorder(const QColor& c);
    QColor colorText() const { return m_colorText; }
    void setColorText(const QColor& c);

    // The plot geometry or the look changed: the grid is drawn anew on the next paint.
    void Invalidate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void DrawGrid(QPainter& p, const QvEQ& eq) const;

    QPixmap m_cache;
    QColor m_colorBorder;
    QColor m_colorText;
};
