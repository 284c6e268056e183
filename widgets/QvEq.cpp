#include "widgets/QvEq.h"

#include <QEvent>
#include <algorithm>

#include "widgets/QvEqCurve.h"
#include "widgets/QvEqGrid.h"

namespace {

EqRect ClientRect(const QWidget* w) {
    return EqRect{0, 0, w->width(), w->height()};
}

}  // namespace

QvEQ::QvEQ(QWidget* parent)
    : QWidget(parent),
      m_model(std::make_unique<EqCurveModel>(m_attr.zeroXFreq)),
      m_geometry(m_attr, ClientRect(this)) {}

QvEQ::~QvEQ() = default;

void QvEQ::SetAttribute(int& field, int value) {
    if (field == value) {
        return;
    }
    field = value;
    Relayout();
}

void QvEQ::setZeroXFreq(int hz) {
    hz = std::clamp(hz, EqFreqAxis::kMinZeroXFreq, EqFreqAxis::kMaxZeroXFreq);
    m_attr.zeroXFreq = hz;
    if (hz != m_model->Axis().ZeroXFreq()) {
        // The axis is fixed per model: the bands move over to a model on the new axis.
        auto model = std::make_unique<EqCurveModel>(hz);
        for (int i = 0; i < m_model->BandCount(); ++i) {
            const EqBand& b = m_model->Band(i);
            model->AddBand(b.gain, b.frequency, b.q);
            model->SetBandParam(i, b.type, EqCurveModel::kType);
        }
        model->Recalculate();
        m_model = std::move(model);
    }
    Relayout();
}

bool QvEQ::AddBand(double gain, double hz, double q) {
    return m_model->AddBand(gain, hz, q);
}

bool QvEQ::SetBandParam(int band, double value, int what) {
    return m_model->SetBandParam(band, value, what);
}

void QvEQ::Recalculate() {
    m_model->Recalculate();
    UpdateCurve();
}

void QvEQ::UpdateCurve() {
    if (QvEqCurve* curve = Curve()) {
        curve->update();
    }
}

QvEqCurve* QvEQ::Curve() const {
    return findChild<QvEqCurve*>(QString(), Qt::FindDirectChildrenOnly);
}

QvEqGrid* QvEQ::Grid() const {
    return findChild<QvEqGrid*>(QString(), Qt::FindDirectChildrenOnly);
}

bool QvEQ::event(QEvent* e) {
    // Children from a layout arrive after the widget was built: they are fitted once they are
    // polished, which happens before they are first shown.
    if (e->type() == QEvent::ChildPolished) {
        Relayout();
    }
    return QWidget::event(e);
}

void QvEQ::resizeEvent(QResizeEvent* e) {
    Relayout();
    QWidget::resizeEvent(e);
}

void QvEQ::Relayout() {
    m_geometry = EqPlotGeometry(m_attr, ClientRect(this));
    // The children paint in this widget's coordinates, so they cover it exactly.
    for (QWidget* child : {static_cast<QWidget*>(Grid()), static_cast<QWidget*>(Curve())}) {
        if (child && child->geometry() != rect()) {
            child->setGeometry(rect());
        }
    }
    if (QvEqGrid* grid = Grid()) {
        grid->Invalidate();
    }
    UpdateCurve();
}
