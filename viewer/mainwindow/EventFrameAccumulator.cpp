#include "EventFrameAccumulator.h"

#include <QPixmap>

namespace {

constexpr size_t kReusedPictures = 4;

}  // namespace

EventFrameAccumulator::EventFrameAccumulator()
{
    std::lock_guard lock(lock_);
    current_ = freshPicture();
    pixels_ = reinterpret_cast<uint32_t*>(current_.bits());
}

QImage EventFrameAccumulator::freshPicture()
{
    QImage picture;
    for (QImage& old : handedOut_)
        if (old.isDetached()) {
            picture = std::move(old);
            old = QImage();
            break;
        }
    std::erase_if(handedOut_, [](const QImage& i) { return i.isNull(); });
    if (picture.isNull())
        picture = QImage(kWidth, kHeight, QImage::Format_RGB32);
    picture.fill(kBackground);
    return picture;
}

void EventFrameAccumulator::addEvents(const orvane::Event2D* begin, const orvane::Event2D* end)
{
    std::lock_guard lock(lock_);
    uint32_t* const pixels = pixels_;
    for (const orvane::Event2D* e = begin; e != end; ++e) {
        if (e->x >= kWidth || e->y >= kHeight)
            continue;
        pixels[size_t(e->y) * kWidth + e->x] = e->polarity ? kOnColour : kOffColour;
    }
}

void EventFrameAccumulator::takeFrame(QImage& out)
{
    std::lock_guard lock(lock_);
    out = current_;
    if (handedOut_.size() >= kReusedPictures)
        handedOut_.erase(handedOut_.begin());
    handedOut_.push_back(current_);
    current_ = freshPicture();
    pixels_ = reinterpret_cast<uint32_t*>(current_.bits());
}

void EventFrameAccumulator::takeFrame(QPixmap& out)
{
    QImage picture;
    takeFrame(picture);
    out = QPixmap::fromImage(picture);
}

void EventFrameAccumulator::clear()
{
    std::lock_guard lock(lock_);
    current_.fill(kBackground);
}
