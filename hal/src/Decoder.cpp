#include "orvane/hal/Decoder.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <stdexcept>

#include "Evt2Decoder.h"
#include "orvane/hal/Evt3Decoder.h"

namespace orvane {

RawEventStreamFormat::RawEventStreamFormat(std::string format) : text_(std::move(format))
{
    size_t start = 0;
    bool first = true;
    while (start <= text_.size()) {
        size_t stop = text_.find(';', start);
        if (stop == std::string::npos) stop = text_.size();
        const std::string piece = text_.substr(start, stop - start);
        if (first) {
            name_ = piece;
            first = false;
        } else if (const size_t eq = piece.find('='); eq != std::string::npos) {
            values_.emplace_back(piece.substr(0, eq), piece.substr(eq + 1));
        }
        start = stop + 1;
    }
}

int64_t RawEventStreamFormat::intValue(const std::string& key, int64_t fallback) const
{
    for (const auto& [k, v] : values_) {
        if (k != key) continue;
        int64_t value = 0;
        const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
        if (ec == std::errc() && ptr == v.data() + v.size()) return value;
        return fallback;
    }
    return fallback;
}

uint16_t RawEventStreamFormat::width() const
{
    const int64_t w = intValue("width", 1280);
    return w > 0 && w <= 2048 ? static_cast<uint16_t>(w) : 1280;
}

uint16_t RawEventStreamFormat::height() const
{
    const int64_t h = intValue("height", 720);
    return h > 0 && h <= 2048 ? static_cast<uint16_t>(h) : 720;
}

const uint8_t* Decoder::scanUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t)
{
    const uint8_t unit = getRawUnitSize();
    for (const uint8_t* p = begin; p + unit <= end; p += unit) {
        scanRange(p, p + unit);
        if (getLastTimestamp() >= t) return p + unit;
    }
    return end;
}

const uint8_t* Decoder::countUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t, uint64_t& count)
{
    const uint8_t unit = getRawUnitSize();
    for (const uint8_t* p = begin; p + unit <= end; p += unit) {
        count += decodeRange(p, p + unit);
        if (getLastTimestamp() >= t) return p + unit;
    }
    return end;
}

void Decoder::FreeBlock::operator()(Event2D* p) const
{
    ::operator delete(p, std::align_val_t{64});
}

Event2D* Decoder::openOutput()
{
    outTotal_ = 0;
    openSink_ = sink_;
    return nextRoom();
}

Event2D* Decoder::nextRoom()
{
    if (openSink_) {
        const std::span<Event2D> room = openSink_->room(minSinkRoom());
        direct_ = room.size() >= minSinkRoom();
        if (direct_) {
            outBegin_ = room.data();
            outMark_ = outBegin_ + (room.size() - outSlack_);
            return outBegin_;
        }
    }
    // The own block: for the events callback, and for a sink whose room is too small to write into
    // directly (its events are copied in as they are handed on).
    direct_ = false;
    if (!block_) {
        block_.reset(static_cast<Event2D*>(
            ::operator new((kOwnBlockEvents + outSlack_) * sizeof(Event2D), std::align_val_t{64})));
    }
    outBegin_ = block_.get();
    outMark_ = outBegin_ + kOwnBlockEvents;
    return outBegin_;
}

void Decoder::handOn(Event2D* out)
{
    const auto n = static_cast<size_t>(out - outBegin_);
    outTotal_ += n;
    if (direct_) {
        openSink_->commit(n);
    } else if (!openSink_) {
        if (n != 0) eventsCallback_(outBegin_, out);
    } else {
        for (const Event2D* p = outBegin_; p != out;) {
            const auto left = static_cast<size_t>(out - p);
            const std::span<Event2D> room = openSink_->room(left);
            // A sink given to a decoder grows or is wrapped by one that does (the file reader's).
            if (room.empty()) throw std::length_error("the event sink has no room left");
            const size_t k = std::min(left, room.size());
            std::memcpy(static_cast<void*>(room.data()), p, k * sizeof(Event2D));
            openSink_->commit(k);
            p += k;
        }
    }
}

Event2D* Decoder::flushOutput(Event2D* out)
{
    handOn(out);
    return nextRoom();
}

void Decoder::closeOutput(Event2D* out)
{
    handOn(out);
    outMark_ = nullptr;
    openSink_ = nullptr;
}

std::unique_ptr<Decoder> DecoderFactory::createUniqueDecoder(const RawEventStreamFormat& format)
{
    if (format.name() == "EVT3") return std::make_unique<Evt3Decoder>(format.width(), format.height());
    if (format.name() == "EVT2") return makeEvt2Decoder(format.width(), format.height());
    if (format.name() == "EVT21") return makeEvt21Decoder(format.width(), format.height());
    return nullptr;
}

std::vector<std::string> evt3DecodePaths()
{
    std::vector<std::string> paths;
    if (Evt3Decoder::cpuHasAvx2()) paths.emplace_back(Evt3Decoder::isaName(Evt3Decoder::Isa::Avx2));
    paths.emplace_back(Evt3Decoder::isaName(Evt3Decoder::Isa::Scalar));
    return paths;
}

std::string evt3DecodePath()
{
    return Evt3Decoder::isaName(Evt3Decoder(1280, 720).isa());
}

const Event2D* binarySearchTimestamp(uint64_t t, const Event2D* begin, const Event2D* end)
{
    // A plain bisection rather than std::lower_bound, whose precondition (a partitioned range) decoded
    // streams with small time steps back do not always meet.
    size_t count = static_cast<size_t>(end - begin);
    while (count > 0) {
        const size_t half = count / 2;
        if (begin[half].timestamp < t) {
            begin += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return begin;
}

}  // namespace orvane
