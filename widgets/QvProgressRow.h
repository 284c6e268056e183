#pragma once

#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <span>
#include <vector>

class QvProgressEX;

// Paints a set of sibling meters in one pass. It lies over them, masked to their rectangles, so
// that new levels for all of them are one paint event and one flush, painted at once, instead of
// a repaint per meter on the next turn of the event loop. The meters stay the controls (range,
// skins, value); covered by the row, they no longer paint themselves.
class QvProgressRow : public QWidget {
    Q_OBJECT
public:
    // The meters must share one parent, which becomes the row's.
    explicit QvProgressRow(std::span<QvProgressEX* const> meters);

    // Shows values[i] on meter i at once (missing values leave a meter as it is) and repaints
    // the strips that changed; returns false when nothing changed.
    bool ShowValues(std::span<const int> values);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Follows the meters' places: the row's geometry and mask are their union.
    void Cover();

    std::vector<QPointer<QvProgressEX>> m_meters;
};
