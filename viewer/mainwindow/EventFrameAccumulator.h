// Paints events into a 1280 x 720 picture: ON and OFF colours on grey, the last event at a pixel
// decides its colour. The live display loop and the file play loop paint and take pictures on
// their own threads; the GUI thread paints and takes them for single steps and seeks. One mutex
// guards the picture, so any thread may call any member.
#pragma once

#include "orvane/types/Event2D.h"

#include <QImage>

#include <cstdint>
#include <mutex>
#include <vector>

class QPixmap;

class EventFrameAccumulator {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 720;
    // 0xAARRGGBB, as QImage::Format_RGB32 stores a pixel.
    static constexpr uint32_t kBackground = 0xFF707070u;
    static constexpr uint32_t kOnColour = 0xFFBFBCB4u;   // (191, 188, 180)
    static constexpr uint32_t kOffColour = 0xFF403D33u;  // (64, 61, 51)

    EventFrameAccumulator();

    // Events outside the picture are skipped.
    void addEvents(const orvane::Event2D* begin, const orvane::Event2D* end);
    // Hands out the picture painted so far and starts a fresh grey one. The picture handed out is
    // never written again, so it may be shown while painting goes on.
    void takeFrame(QImage& out);
    void takeFrame(QPixmap& out);
    // Drops what was painted since the last take.
    void clear();

private:
    QImage freshPicture();  // caller holds lock_

    std::mutex lock_;
    QImage current_;
    uint32_t* pixels_;  // current_'s bits, kept so the paint loop does no detach check per event
    // Pictures handed out earlier; one nobody holds any more is reused instead of allocated.
    std::vector<QImage> handedOut_;
};
