#pragma once

#include <QColor>
#include <QWidget>

class QvEQ;

// The grid of the equaliser display ("qveqgrid"), a child of QvEQ covering it: the dB lines with
// their labels in the left margin and the frequency lines with theirs under the plot. Lines in
// "colorBorder", labels in "colorText" and the widget's font.
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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colorBorder;
    QColor m_colorText;
};
