// Watches the open source once a second for the info bar and the statistics line: its event rate
// and the data its camera dropped since streaming started. With ORVANE_SCOPE_STATS=1 ScopeStats
// writes one line a second to standard error:
//   stats: shown=N built=N events=N stall_ms=N rate_eps=N dropped_bytes=N
// (pictures shown and built and events painted in the last second, the longest time the GUI
// thread was busy in one go, the event rate, the bytes dropped). Off, it does not exist.
//
// Threads: GUI thread only; the probes read counters that other threads keep as atomics.
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>

class QTimer;

class SourceMonitor : public QObject {
    Q_OBJECT
public:
    struct Probe {
        std::function<uint64_t()> eventsDelivered;  // a running count: the rate is its growth
        std::function<uint64_t()> eventRate;        // or the rate itself
        std::function<uint64_t()> droppedBytes;     // a running count since the camera opened
    };

    explicit SourceMonitor(QObject* parent = nullptr);

    // Starts watching a source (counts start from now); an empty probe watches nothing.
    void watch(const Probe& probe);
    void stop();
    uint64_t rate() const { return rate_; }
    uint64_t dropped() const { return dropped_; }
    bool watching() const { return watching_; }
    // Samples now rather than at the next second (tests, and the moment a source stops).
    void sample();

Q_SIGNALS:
    void rateChanged(quint64 eventsPerSecond);
    // The bytes dropped since watching started, each time it grows.
    void dataDropped(quint64 bytes);

private:
    Probe probe_;
    QTimer* timer_;
    QElapsedTimer sinceLast_;
    bool watching_ = false;
    uint64_t lastDelivered_ = 0;
    uint64_t droppedBase_ = 0;
    uint64_t rate_ = 0;
    uint64_t dropped_ = 0;
};

class ScopeStats : public QObject {
    Q_OBJECT
public:
    struct Totals {
        uint64_t built = 0;   // running counts
        uint64_t events = 0;
        uint64_t rate = 0;    // current values
        uint64_t dropped = 0;
    };
    static bool enabledByEnvironment();

    ScopeStats(std::function<Totals()> totals, QObject* parent = nullptr);
    void pictureShown() { shown_.fetch_add(1, std::memory_order_relaxed); }

private:
    void beat();
    void report();

    std::function<Totals()> totals_;
    QTimer* beat_;
    QTimer* report_;
    QElapsedTimer sinceBeat_;
    qint64 longestGapMs_ = 0;
    std::atomic<uint64_t> shown_{0};
    uint64_t lastShown_ = 0;
    uint64_t lastBuilt_ = 0;
    uint64_t lastEvents_ = 0;
};
