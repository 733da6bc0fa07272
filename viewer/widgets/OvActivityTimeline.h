// The strip under the time slider that shows where a recording's events are: its event count over
// its whole length in bins, with the played (cut) range lit and the play position marked. The
// profile comes from the recording's index (a seek per bin edge, each of which decodes at most
// the data up to the next bookmark), so it is there at once even for a recording of gigabytes.
// Its x axis is the slider's track: the same margins, so a bar stands under the time it shows.
//
// Threads: profileOf runs on whatever thread holds the reader (the opening worker); the widget
// lives on the GUI thread.
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

namespace orvane {
class DvsFileReader;
}

class OvActivityTimeline : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMargin = 16;  // the slider's track starts and ends this far in
    static constexpr int kBins = 400;

    explicit OvActivityTimeline(QWidget* parent = nullptr);

    // The events in each of `bins` equal spans of [start, end], by the reader's seeks (it is left
    // at start). Empty when the reader cannot seek there.
    static std::vector<uint64_t> profileOf(orvane::DvsFileReader& reader, uint64_t start, uint64_t end, int bins = kBins);

    void setProfile(uint64_t start, uint64_t end, std::vector<uint64_t> counts);
    void clearProfile();
    const std::vector<uint64_t>& profile() const { return counts_; }
    void setRange(uint64_t lower, uint64_t upper);
    void setPosition(uint64_t position);

    QSize sizeHint() const override { return {400, 26}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double xOf(uint64_t time) const;

    uint64_t start_ = 0;
    uint64_t end_ = 0;
    uint64_t lower_ = 0;
    uint64_t upper_ = 0;
    uint64_t position_ = 0;
    std::vector<uint64_t> counts_;
    uint64_t peak_ = 0;
};
