#pragma once

#include <QWidget>
#include <memory>

#include "EqCurveModel.h"
#include "EqPlotGeometry.h"

class QvEqCurve;
class QvEqGrid;

// The equaliser display ("qveq"): holds the bands with their summed response, the frequency axis
// and the plot geometry. It paints nothing itself; its children "qveqgrid" and "qveqcurve" fill
// it and paint the grid and the curves from what it holds. Layout attributes (margins, dB range,
// grid) are the properties below; the geometry follows every size change.
class QvEQ : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qveq")
    Q_PROPERTY(int ldist READ ldist WRITE setLdist)
    Q_PROPERTY(int tdist READ tdist WRITE setTdist)
    Q_PROPERTY(int rdist READ rdist WRITE setRdist)
    Q_PROPERTY(int bdist READ bdist WRITE setBdist)
    Q_PROPERTY(int dbMax READ dbMax WRITE setDbMax)
    Q_PROPERTY(int dbMin READ dbMin WRITE setDbMin)
    Q_PROPERTY(int nKedu READ nKedu WRITE setNKedu)
    Q_PROPERTY(int dbKeduVal READ dbKeduVal WRITE setDbKeduVal)
    Q_PROPERTY(int zeroXFreq READ zeroXFreq WRITE setZeroXFreq)
public:
    explicit QvEQ(QWidget* parent = nullptr);
    ~QvEQ() override;

    int ldist() const { return m_attr.ldist; }
    void setLdist(int v) { SetAttribute(m_attr.ldist, v); }
    int tdist() const { return m_attr.tdist; }
    void setTdist(int v) { SetAttribute(m_attr.tdist, v); }
    int rdist() const { return m_attr.rdist; }
    void setRdist(int v) { SetAttribute(m_attr.rdist, v); }
    int bdist() const { return m_attr.bdist; }
    void setBdist(int v) { SetAttribute(m_attr.bdist, v); }
    int dbMax() const { return m_attr.dbMax; }
    void setDbMax(int v) { SetAttribute(m_attr.dbMax, v); }
    int dbMin() const { return m_attr.dbMin; }
    void setDbMin(int v) { SetAttribute(m_attr.dbMin, v); }
    int nKedu() const { return m_attr.nKedu; }
    void setNKedu(int v) { SetAttribute(m_attr.nKedu, v); }
    int dbKeduVal() const { return m_attr.dbKeduVal; }
    void setDbKeduVal(int v) { SetAttribute(m_attr.dbKeduVal, v); }
    // Clamped to 10-20 Hz. The axis is rebuilt and the bands recomputed on it.
    int zeroXFreq() const { return m_model->Axis().ZeroXFreq(); }
    void setZeroXFreq(int hz);

    const EqCurveModel& Model() const { return *m_model; }
    EqCurveModel& Model() { return *m_model; }
    const EqPlotGeometry& Geometry() const { return m_geometry; }

    // A peaking band at 0 dB response; ignored once 31 bands exist.
    bool AddBand(double gain, double hz, double q);
    // See EqCurveModel::SetBandParam; the caller asks for the redraw (UpdateCurve).
    bool SetBandParam(int band, double value, int what);
    // Recomputes every band and the total, then redraws the curve.
    void Recalculate();
    // Schedules a repaint of the curve: repeated calls within one frame paint once.
    void UpdateCurve();

    QvEqCurve* Curve() const;
    QvEqGrid* Grid() const;

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void SetAttribute(int& field, int value);
    void Relayout();

    EqPlotAttributes m_attr;
    std::unique_ptr<EqCurveModel> m_model;
    EqPlotGeometry m_geometry;
};
