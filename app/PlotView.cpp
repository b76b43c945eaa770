#include "app/PlotView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

const QColor PlotView::kCurveColours[kMaxCurves] = {
    QColor(0x00, 0x5A, 0xC8), QColor(0xD0, 0x30, 0x20), QColor(0x20, 0x90, 0x30), QColor(0xE0, 0x8A, 0x00),
    QColor(0x80, 0x30, 0xB0), QColor(0x00, 0x99, 0x99), QColor(0x99, 0x66, 0x33), QColor(0xD0, 0x40, 0xA0)};

// Where times and values go in the widget.
struct PlotScale {
    QRect area;
    double from;
    double span;
    double low;
    double high;

    double X(double seconds) const { return area.left() + (seconds - from) / span * area.width(); }
    double Y(double value) const { return area.bottom() - (value - low) / (high - low) * area.height(); }
};

namespace {

// What the samples of one curve falling in one pixel column come to.
struct Column {
    double least = 0, greatest = 0, first = 0, last = 0;
    bool used = false;
};

// columns[x * kMaxCurves + curve] for each pixel column x of `width` over [from, to].
std::vector<Column> Bucket(const PlotStore& store, double from, double to, int width)
{
    std::vector<Column> columns(static_cast<std::size_t>(width) * kMaxCurves);
    const auto [first, last] = store.Range(from, to);
    for (std::size_t index = first; index < last; ++index) {
        const PlotSample& sample = store[index];
        const int x = std::clamp(static_cast<int>((sample.seconds - from) / (to - from) * width), 0, width - 1);
        for (std::size_t curve = 0; curve < sample.count; ++curve) {
            const double value = sample.values[curve];
            Column& cell = columns[static_cast<std::size_t>(x) * kMaxCurves + curve];
            if (std::isfinite(value)) {
                const bool before = cell.used;
                cell = {before ? std::min(cell.least, value) : value, before ? std::max(cell.greatest, value) : value,
                        before ? cell.first : value, value, true};
            }
        }
    }
    return columns;
}

// The values of the columns with a twentieth of their spread above and below.
std::pair<double, double> FittedRange(const std::vector<Column>& columns)
{
    double least = std::numeric_limits<double>::infinity();
    double greatest = -least;
    for (const Column& column : columns) {
        least = column.used ? std::min(least, column.least) : least;
        greatest = column.used ? std::max(greatest, column.greatest) : greatest;
    }
    if (least > greatest) {
        return {0, 1};
    }
    const double margin = greatest > least ? (greatest - least) / 20 : std::max(1.0, std::abs(least) / 10);
    return {least - margin, greatest + margin};
}

// Round values (1, 2 or 5 times a power of ten apart) in [low, high], about `most` of them.
std::vector<double> Ticks(double low, double high, int most)
{
    const double raw = (high - low) / std::max(1, most);
    if (!(raw > 0) || !std::isfinite(raw)) {
        return {};
    }
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double step = power * (raw <= power ? 1 : raw <= 2 * power ? 2 : raw <= 5 * power ? 5 : 10);
    std::vector<double> ticks;
    for (double k = std::ceil(low / step); k * step <= high + step * 1e-9; ++k) {
        ticks.push_back(k == 0 ? 0.0 : k * step);
    }
    return ticks;
}

// A vertical stroke over each column's spread, joined to the previous column that has values.
void DrawCurve(QPainter& painter, const PlotScale& scale, const std::vector<Column>& columns, std::size_t curve)
{
    std::vector<QLineF> lines;
    std::optional<QPointF> previous;
    for (int x = 0; x < scale.area.width(); ++x) {
        const Column& column = columns[static_cast<std::size_t>(x) * kMaxCurves + curve];
        if (column.used) {
            const double px = scale.area.left() + x + 0.5;
            const QPointF first(px, scale.Y(column.first));
            lines.emplace_back(previous.value_or(first), first);
            lines.emplace_back(px, scale.Y(column.least), px, scale.Y(column.greatest));
            previous = QPointF(px, scale.Y(column.last));
        }
    }
    painter.setPen(QPen(PlotView::kCurveColours[curve], 1.5, Qt::SolidLine, Qt::SquareCap));
    painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}

QString Number(double value) { return QString::number(value, 'g', 6); }

}  // namespace

PlotView::PlotView(const PlotStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 160);
}

// Room on the left for the widest value label.
QRect PlotView::PlotArea() const
{
    const QFontMetrics metrics = fontMetrics();
    const int left = metrics.horizontalAdvance(QStringLiteral("-8.88888e+88")) + 10;
    return QRect(QPoint(left, 8), QPoint(width() - 14, height() - metrics.height() - 12));
}

void PlotView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRect area = PlotArea();
    if (area.width() < 2 || area.height() < 2) {
        return;
    }
    const double from = m_end - m_span;
    const std::vector<Column> columns = Bucket(m_store, from, m_end, area.width());
    const auto [low, high] = m_fixedRange ? *m_fixedRange : FittedRange(columns);
    const PlotScale scale{area, from, m_span, low, high};
    DrawAxes(painter, scale);
    painter.setClipRect(area);
    for (std::size_t curve = 0; curve < kMaxCurves; ++curve) {
        DrawCurve(painter, scale, columns, curve);
    }
    painter.setClipping(false);
    if (!m_names.isEmpty()) {
        DrawBox(painter, area.topLeft() + QPoint(8, 8), m_names, true);
    }
    if (const std::optional<std::size_t> nearest = NearestSample()) {
        const double x = scale.X(m_store[*nearest].seconds);
        painter.setPen(QPen(palette().mid().color(), 1, Qt::DashLine));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        DrawBox(painter, *m_mouse + QPoint(14, 14), HoverLines(), false);
    }
}

void PlotView::DrawAxes(QPainter& painter, const PlotScale& scale) const
{
    const int lineHeight = fontMetrics().height();
    const QRect& area = scale.area;
    const QColor grid(0xE4, 0xE4, 0xE4);
    for (const double value : Ticks(scale.low, scale.high, area.height() / 40)) {
        const int y = static_cast<int>(std::lround(scale.Y(value)));
        painter.setPen(grid);
        painter.drawLine(area.left(), y, area.right(), y);
        painter.setPen(palette().text().color());
        painter.drawText(QRect(0, y - lineHeight / 2, area.left() - 6, lineHeight), Qt::AlignRight, Number(value));
    }
    // Times count back from the end of the window: the newest sample unless paused.
    for (const double ago : Ticks(-scale.span, 0, area.width() / 90)) {
        const int x = static_cast<int>(std::lround(scale.X(m_end + ago)));
        painter.setPen(grid);
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.setPen(palette().text().color());
        painter.drawText(QRect(x - 50, area.bottom() + 4, 100, lineHeight), Qt::AlignHCenter, Number(ago));
    }
    painter.drawText(QRect(4, area.bottom() + 4, area.left(), lineHeight), Qt::AlignLeft, QStringLiteral("时间(秒)"));
    painter.setPen(palette().mid().color());
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void PlotView::DrawBox(QPainter& painter, QPoint at, const QStringList& lines, bool swatches) const
{
    const QFontMetrics metrics = fontMetrics();
    const int indent = swatches ? 32 : 6;
    int textWidth = 0;
    for (const QString& line : lines) {
        textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    }
    QRect box(at, QSize(indent + textWidth + 8, static_cast<int>(lines.size()) * metrics.height() + 8));
    box.moveRight(std::min(box.right(), width() - 2));
    box.moveBottom(std::min(box.bottom(), height() - 2));
    painter.fillRect(box, QColor(0xFF, 0xFF, 0xF4, 230));
    painter.setPen(palette().mid().color());
    painter.drawRect(box);
    for (int i = 0; i < lines.size(); ++i) {
        const QRect line(box.left() + indent, box.top() + 4 + i * metrics.height(), textWidth + 2, metrics.height());
        if (swatches) {
            painter.setPen(QPen(kCurveColours[i], 3));
            painter.drawLine(box.left() + 6, line.center().y(), box.left() + 26, line.center().y());
        }
        painter.setPen(Qt::black);
        painter.drawText(line, Qt::AlignVCenter, lines[i]);
    }
}

std::optional<std::size_t> PlotView::NearestSample() const
{
    const QRect area = PlotArea();
    const auto [first, last] = m_store.Range(m_end - m_span, m_end);
    if (!m_mouse || !area.contains(*m_mouse) || first == last) {
        return std::nullopt;
    }
    const double seconds = m_end - m_span + (m_mouse->x() - area.left() + 0.5) / area.width() * m_span;
    const std::size_t after = std::clamp(m_store.Range(seconds, m_end).first, first, last - 1);
    const bool earlierIsNearer =
        after > first && seconds - m_store[after - 1].seconds < std::abs(m_store[after].seconds - seconds);
    return earlierIsNearer ? after - 1 : after;
}

QStringList PlotView::HoverLines() const
{
    const std::optional<std::size_t> nearest = NearestSample();
    if (!nearest) {
        return {};
    }
    const PlotSample& sample = m_store[*nearest];
    QStringList lines{QStringLiteral("%1 秒").arg(sample.seconds - m_end, 0, 'f', 3)};
    for (std::size_t i = 0; i < sample.count; ++i) {
        const int index = static_cast<int>(i);
        const QString name = index < m_names.size() ? m_names[index] : QString::number(index + 1);
        lines << QStringLiteral("%1: %2").arg(name, QString::number(sample.values[i], 'g', 10));
    }
    return lines;
}

void PlotView::mouseMoveEvent(QMouseEvent* event)
{
    m_mouse = event->position().toPoint();
    update();
}
