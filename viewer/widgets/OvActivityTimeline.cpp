#include "OvActivityTimeline.h"

#include "orvane/driver/DvsFileReader.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

OvActivityTimeline::OvActivityTimeline(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("timeline_activity"));
    setFixedHeight(26);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

std::vector<uint64_t> OvActivityTimeline::profileOf(orvane::DvsFileReader& reader, uint64_t start, uint64_t end, int bins)
{
    if (bins <= 0 || end < start)
        return {};
    uint64_t total = 0;
    reader.getMaxEvents(total);
    // Events before time t in stream order: what a seek to t counts.
    const auto before = [&](uint64_t t) -> uint64_t {
        if (t <= start)
            return 0;
        if (t > end)
            return total;
        return reader.seekTime(t) ? reader.getCurrentPosEventNum() : total;
    };
    const long double span = static_cast<long double>(end - start) + 1.0L;
    std::vector<uint64_t> counts(size_t(bins), 0);
    uint64_t previous = 0;
    for (int i = 1; i <= bins; ++i) {
        const uint64_t edge = i == bins ? end + 1 : start + static_cast<uint64_t>(span * i / bins);
        const uint64_t now = std::max(before(edge), previous);
        counts[size_t(i - 1)] = now - previous;
        previous = now;
    }
    reader.seekTime(start);
    return counts;
}

void OvActivityTimeline::setProfile(uint64_t start, uint64_t end, std::vector<uint64_t> counts)
{
    start_ = start;
    end_ = std::max(start, end);
    lower_ = start_;
    upper_ = end_;
    position_ = start_;
    counts_ = std::move(counts);
    peak_ = counts_.empty() ? 0 : *std::max_element(counts_.begin(), counts_.end());
    update();
}

void OvActivityTimeline::clearProfile()
{
    setProfile(0, 0, {});
}

void OvActivityTimeline::setRange(uint64_t lower, uint64_t upper)
{
    lower_ = lower;
    upper_ = std::max(lower, upper);
    update();
}

void OvActivityTimeline::setPosition(uint64_t position)
{
    if (position == position_)
        return;
    position_ = position;
    update();
}

double OvActivityTimeline::xOf(uint64_t time) const
{
    const double track = std::max(1, width() - 2 * kMargin);
    if (end_ <= start_)
        return kMargin;
    const double share = double(std::clamp(time, start_, end_) - start_) / double(end_ - start_);
    return kMargin + share * track;
}

void OvActivityTimeline::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF track(kMargin, 0, std::max(1, width() - 2 * kMargin), height());
    p.fillRect(track, QColor(0xEE, 0xEE, 0xEE));
    if (counts_.empty() || end_ <= start_)
        return;
    // The played range lit, the rest dimmed.
    p.fillRect(QRectF(QPointF(xOf(lower_), 0), QPointF(xOf(upper_), height())), QColor(0xD7, 0xE7, 0xEE));
    // Bars on a square-root scale: quiet stretches stay visible beside bursts.
    const double barWidth = track.width() / double(counts_.size());
    const double top = std::sqrt(double(std::max<uint64_t>(peak_, 1)));
    for (size_t i = 0; i < counts_.size(); ++i) {
        if (counts_[i] == 0)
            continue;
        const double h = std::max(1.0, (height() - 2) * std::sqrt(double(counts_[i])) / top);
        const double x = track.left() + barWidth * double(i);
        const uint64_t binStart = start_ + uint64_t(double(end_ - start_) * double(i) / double(counts_.size()));
        const bool inside = binStart >= lower_ && binStart <= upper_;
        p.fillRect(QRectF(x, height() - h, std::max(1.0, barWidth), h),
                   inside ? QColor(0x2F, 0x7A, 0x99) : QColor(0xA8, 0xB8, 0xC0));
    }
    p.setPen(QPen(QColor(0xE0, 0x50, 0x20), 2));
    const double x = xOf(position_);
    p.drawLine(QPointF(x, 0), QPointF(x, height()));
}
