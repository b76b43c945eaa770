#pragma once

#include <QColor>
#include <QPoint>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <utility>

#include "traffic/PlotSamples.h"

struct PlotScale;

// Draws the samples of a PlotStore as curves against time: the time window ends at ShowUntil's
// moment, the values fill the height (with a margin) unless a fixed range is set. A drawing
// goes once over the samples in the window and then costs the width: each pixel column shows
// the least and greatest value of every curve in it. The mouse over the curves shows the values
// of the nearest sample.
class PlotView : public QWidget {
    Q_OBJECT

public:
    static const QColor kCurveColours[kMaxCurves];

    explicit PlotView(const PlotStore& store, QWidget* parent = nullptr);

    void SetNames(const QStringList& names) { m_names = names.mid(0, kMaxCurves); update(); }
    void SetSpan(double seconds) { m_span = seconds; update(); }
    // nullopt: the values shown fill the height.
    void SetValueRange(std::optional<std::pair<double, double>> range) { m_fixedRange = range; update(); }
    void ShowUntil(double seconds) { m_end = seconds; update(); }
    double EndSeconds() const { return m_end; }
    // The box at the mouse: the nearest sample's time, then each curve's value; empty when the
    // mouse is not over the curves or there are none.
    QStringList HoverLines() const;

    QSize sizeHint() const override { return {720, 360}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent*) override { m_mouse.reset(); update(); }

private:
    QRect PlotArea() const;
    void DrawAxes(QPainter& painter, const PlotScale& scale) const;
    // Lines of text in a box at `at` (kept inside the widget), each after its curve's colour
    // when `swatches`.
    void DrawBox(QPainter& painter, QPoint at, const QStringList& lines, bool swatches) const;
    std::optional<std::size_t> NearestSample() const;

    const PlotStore& m_store;
    QStringList m_names;
    double m_span = 10;
    double m_end = 0;
    std::optional<std::pair<double, double>> m_fixedRange;
    std::optional<QPoint> m_mouse;
};
