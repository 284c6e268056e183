#pragma once

#include <string>
#include <vector>

// The curve widget's layout attributes, as the layout file gives them.
struct EqPlotAttributes {
    int ldist = 36;  // left margin: the dB labels
    int tdist = 18;
    int rdist = 0;
    int bdist = 16;  // bottom margin: the frequency labels
    int dbMax = 12;
    int dbMin = -12;
    int nKedu = 4;      // horizontal grid intervals
    int dbKeduVal = 6;  // a horizontal line whose value is a multiple of this is labelled
    int zeroXFreq = 10;
};

struct EqRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct EqGridLine {
    int position;       // y of a horizontal line, x of a vertical one
    int value;          // dB or Hz
    std::string label;  // empty: none
};

// Where the grid and the curves go in the widget's client rectangle; recomputed on every size
// change. Frequencies map to x logarithmically from zeroXFreq at the plot's left edge to 24 kHz
// at its right edge, the same mapping as the axis points.
class EqPlotGeometry {
public:
    // Attributes that would divide by zero or leave the axis are brought into range (zeroXFreq
    // 10-20, at least one grid interval, dbMax above dbMin).
    EqPlotGeometry(const EqPlotAttributes& attributes, const EqRect& client);

    const EqPlotAttributes& Attributes() const { return m_a; }
    int RowHeight() const { return m_rowHeight; }
    int PlotLeft() const { return m_plotLeft; }
    int PlotTop() const { return m_plotTop; }
    int PlotWidth() const { return m_plotWidth; }
    int PlotHeight() const { return m_plotHeight; }
    int PlotBottom() const { return m_plotTop + m_plotHeight; }
    double PixelsPerDecade() const { return m_pixelsPerDecade; }
    double PixelsPerPoint() const { return m_pixelsPerPoint; }
    double PixelsPerDb() const { return m_pixelsPerDb; }

    // y of 0 dB.
    int ZeroLineY() const { return m_zeroY; }
    // x of axis point i and y of a level, as the curves draw them (no clamping).
    double PointX(double i) const { return m_plotLeft + i * m_pixelsPerPoint; }
    double DbY(double db) const { return m_zeroY - db * m_pixelsPerDb; }
    double DbAtY(double y) const;
    // x of a frequency, exact, and back (for pointing at a band).
    double XOfHz(double hz) const;
    double HzAtX(double x) const;
    // x of a vertical grid line: truncated to whole pixels.
    int GridLineX(double hz) const;

    // nKedu + 1 lines from the top, labelled "%ddB".
    std::vector<EqGridLine> HorizontalLines() const;
    // The 29 lines zeroXFreq, 20, 30 … 90, 100 … 900, 1000 … 9000, 10000, 20000 Hz; the ones
    // at 20, 50, 100, 200, 500, 1k, 2k, 5k, 10k and 20k labelled ("20Hz" … "1kHz" …).
    std::vector<EqGridLine> VerticalLines() const;

private:
    EqPlotAttributes m_a;
    EqRect m_client;
    int m_rowHeight;
    int m_plotLeft;
    int m_plotTop;
    int m_plotWidth;
    int m_plotHeight;
    double m_decades;  // log10 24000 − log10 zeroXFreq
    double m_pixelsPerDecade;
    double m_pixelsPerPoint;
    double m_pixelsPerDb;
    int m_zeroY;
};
