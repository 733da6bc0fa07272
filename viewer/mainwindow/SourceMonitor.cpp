#include "SourceMonitor.h"

#include <QTimer>

#include <cstdio>

SourceMonitor::SourceMonitor(QObject* parent) : QObject(parent), timer_(new QTimer(this))
{
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &SourceMonitor::sample);
}

void SourceMonitor::watch(const Probe& probe)
{
    probe_ = probe;
    watching_ = bool(probe.eventsDelivered) || bool(probe.eventRate) || bool(probe.droppedBytes);
    lastDelivered_ = probe_.eventsDelivered ? probe_.eventsDelivered() : 0;
    droppedBase_ = probe_.droppedBytes ? probe_.droppedBytes() : 0;
    rate_ = 0;
    dropped_ = 0;
    sinceLast_.start();
    if (watching_)
        timer_->start();
    else
        timer_->stop();
}

void SourceMonitor::stop()
{
    if (watching_)
        sample();
    const bool was = watching_;
    watching_ = false;
    timer_->stop();
    probe_ = {};
    rate_ = 0;
    if (was)
        Q_EMIT rateChanged(0);
}

void SourceMonitor::sample()
{
    if (!watching_)
        return;
    const qint64 ms = std::max<qint64>(sinceLast_.restart(), 1);
    if (probe_.eventsDelivered) {
        const uint64_t now = probe_.eventsDelivered();
        rate_ = (now - lastDelivered_) * 1000u / uint64_t(ms);
        lastDelivered_ = now;
    } else if (probe_.eventRate) {
        rate_ = probe_.eventRate();
    }
    Q_EMIT rateChanged(rate_);
    if (probe_.droppedBytes) {
        const uint64_t total = probe_.droppedBytes();
        const uint64_t since = total > droppedBase_ ? total - droppedBase_ : 0;
        if (since > dropped_) {
            dropped_ = since;
            Q_EMIT dataDropped(dropped_);
        }
    }
}

bool ScopeStats::enabledByEnvironment()
{
    return qEnvironmentVariableIntValue("ORVANE_SCOPE_STATS") == 1;
}

ScopeStats::ScopeStats(std::function<Totals()> totals, QObject* parent)
    : QObject(parent), totals_(std::move(totals)), beat_(new QTimer(this)), report_(new QTimer(this))
{
    beat_->setTimerType(Qt::PreciseTimer);
    beat_->setInterval(10);
    connect(beat_, &QTimer::timeout, this, &ScopeStats::beat);
    report_->setInterval(1000);
    connect(report_, &QTimer::timeout, this, &ScopeStats::report);
    const Totals t = totals_();
    lastBuilt_ = t.built;
    lastEvents_ = t.events;
    sinceBeat_.start();
    beat_->start();
    report_->start();
}

void ScopeStats::beat()
{
    // The beat should come every 10 ms; anything longer is time the GUI thread spent elsewhere.
    longestGapMs_ = std::max(longestGapMs_, sinceBeat_.restart() - 10);
}

void ScopeStats::report()
{
    beat();
    const Totals t = totals_();
    const uint64_t shown = shown_.load(std::memory_order_relaxed);
    std::fprintf(stderr, "stats: shown=%llu built=%llu events=%llu stall_ms=%lld rate_eps=%llu dropped_bytes=%llu\n",
                 static_cast<unsigned long long>(shown - lastShown_),
                 static_cast<unsigned long long>(t.built - lastBuilt_),
                 static_cast<unsigned long long>(t.events - lastEvents_), static_cast<long long>(std::max<qint64>(longestGapMs_, 0)),
                 static_cast<unsigned long long>(t.rate), static_cast<unsigned long long>(t.dropped));
    std::fflush(stderr);
    lastShown_ = shown;
    lastBuilt_ = t.built;
    lastEvents_ = t.events;
    longestGapMs_ = 0;
}
