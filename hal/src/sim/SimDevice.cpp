#include "sim/SimDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "orvane/base/Logger.h"
#include "orvane/hal/Evt3Encoder.h"
#include "orvane/hal/RegisterTables.h"
#include "sim/Replay.h"

namespace orvane::sim {

// Reusable buffers: a filled buffer goes to the host and comes back here when its last holder
// drops it, so streaming allocates nothing once warm.
class BufferPool : public std::enable_shared_from_this<BufferPool> {
public:
    explicit BufferPool(size_t keep) : keep_(keep) {}

    BufferPtr take(size_t bytes)
    {
        std::unique_ptr<Buffer> b;
        {
            std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                b = std::move(free_.back());
                free_.pop_back();
            }
        }
        if (!b) b = std::make_unique<Buffer>();
        b->resize(bytes);
        std::weak_ptr<BufferPool> home = weak_from_this();
        return BufferPtr(b.release(), [home](Buffer* p) {
            if (auto pool = home.lock()) {
                std::lock_guard lock(pool->mutex_);
                if (pool->free_.size() < pool->keep_) {
                    pool->free_.emplace_back(p);
                    return;
                }
            }
            delete p;
        });
    }

private:
    const size_t keep_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Buffer>> free_;
};

namespace {

constexpr uint32_t kSliceUs = 1000;
constexpr uint64_t kFramePeriodUs = 33333;
constexpr auto kShortTransferAfter = std::chrono::milliseconds(20);
constexpr uint64_t kMaxCatchUpUs = 200000;

std::atomic<uint64_t> nextHandle{1};

double defaultRate()
{
    if (const char* s = std::getenv("ORVANE_SIM_RATE")) {
        char* end = nullptr;
        const double r = std::strtod(s, &end);
        if (end != s && r >= 0 && std::isfinite(r)) return r;
        ORVANE_LOG_WARNING("ORVANE_SIM_RATE=\"%s\" is not a rate; using 2000000", s);
    }
    return 2e6;
}

}  // namespace

SimDevice::SimDevice(Model model, const std::string& serial, const DeviceOptions& options)
    : model_(model),
      options_(options),
      handle_(nextHandle.fetch_add(1)),
      epoch_(std::chrono::steady_clock::now()),
      dvsMap_(imx636RegisterInfo, imx636RegisterInfoCount),
      apsMap_(imx415RegisterInfo, imx415RegisterInfoCount),
      pool_(std::make_shared<BufferPool>(64)),
      framePool_(std::make_shared<BufferPool>(6))
{
    desc_.serial = serial;
    desc_.interfaceType = INTERFACE_USB;
    switch (model) {
    case Model::Evk4:
        desc_.product = "EVK4", desc_.manufacturer = "Prophesee", desc_.vendorId = 0x04B4, desc_.productId = 0x00F5;
        break;
    case Model::Kestrel:
        desc_.product = "Kestrel", desc_.manufacturer = "Orvane", desc_.vendorId = 0x04B5, desc_.productId = 0x0001;
        break;
    case Model::Tandem:
        desc_.product = "Tandem", desc_.manufacturer = "Orvane", desc_.vendorId = 0x2207, desc_.productId = 0x0006;
        break;
    }
    desc_.busPath = "sim:" + std::to_string(handle_);
    if (options_.eventRate <= 0) options_.eventRate = defaultRate();
    if (options_.replayPath.empty()) {
        if (const char* r = std::getenv("ORVANE_SIM_REPLAY")) options_.replayPath = r;
    }
    if (options_.replayPath == "-") options_.replayPath.clear();
    if (!options_.replayPath.empty()) {
        replay_ = std::make_unique<ReplaySource>();
        std::string reason;
        if (!replay_->open(options_.replayPath, reason)) {
            replayFailure_ = "the replay file \"" + options_.replayPath + "\" " + reason;
            replay_.reset();
        }
    }
    for (const auto& [name, r] : dvsMap_.registers()) regs_[r.get_address()] = r.get_default_value();
    if (isFusion())
        for (const auto& [name, r] : apsMap_.registers()) regs_[r.get_address()] = r.get_default_value();

    events_ = std::make_shared<EndpointQueue>(0x52, serial, 8);
    if (isFusion()) frames_ = std::make_shared<EndpointQueue>(0x53, serial, 4);
    eventThread_ = std::thread([this] { eventLoop(); });
    if (isFusion()) frameThread_ = std::thread([this] { frameLoop(); });
}

SimDevice::~SimDevice()
{
    unplug();
}

void SimDevice::unplug()
{
    connected_ = false;
    {
        std::lock_guard lock(quitMutex_);
        quit_ = true;
    }
    quitCond_.notify_all();
    events_->disconnect();
    if (frames_) frames_->disconnect();
    if (eventThread_.joinable() && eventThread_.get_id() != std::this_thread::get_id()) eventThread_.join();
    if (frameThread_.joinable() && frameThread_.get_id() != std::this_thread::get_id()) frameThread_.join();
}

bool SimDevice::sleepFor(std::chrono::microseconds d)
{
    std::unique_lock lock(quitMutex_);
    return !quitCond_.wait_for(lock, d, [this] { return quit_.load(); });
}

uint64_t SimDevice::nowUs() const
{
    return options_.clockStartUs +
           static_cast<uint64_t>(
               std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - epoch_).count());
}

void SimDevice::control(CtrlFrame& frame)
{
    if (!connected_) throw std::runtime_error("Device is disconnected");
    const auto& p = frame.payload();
    switch (frame.command()) {
    case CTRL_WRITE_REGISTERS: {
        if (p.size() < 2) throw std::runtime_error("Register write without address and value");
        std::lock_guard lock(regMutex_);
        for (size_t i = 1; i < p.size(); ++i) {
            const uint32_t address = p[0] + static_cast<uint32_t>(4 * (i - 1));
            regs_[address] = p[i];
            if (writes_.size() < 1000000) writes_.push_back({address, p[i]});
        }
        generation_.fetch_add(1);
        frame.setReply({});
        return;
    }
    case CTRL_READ_REGISTERS: {
        if (p.empty()) throw std::runtime_error("Register read without address");
        const uint32_t count = p.size() > 1 ? std::min<uint32_t>(p[1], 256) : 1;
        std::vector<uint32_t> reply;
        std::lock_guard lock(regMutex_);
        for (uint32_t i = 0; i < count; ++i) reply.push_back(reg(p[0] + 4 * i));
        frame.setReply(std::move(reply));
        return;
    }
    case CTRL_EVENT_PIPE_RESET:
    case CTRL_FRAME_PIPE_RESET: {
        if (p.size() != 2) throw std::runtime_error("Pipe reset takes two words");
        auto& q = frame.command() == CTRL_EVENT_PIPE_RESET ? events_ : frames_;
        if (!q) throw std::runtime_error("The device has no frame pipe");
        if (p[1]) q->clear();
        frame.setReply({});
        return;
    }
    default: {
        char text[64];
        std::snprintf(text, sizeof text, "Unknown control command 0x%08X", frame.command());
        throw std::runtime_error(text);
    }
    }
}

void SimDevice::settle(uint32_t delayUs)
{
    // The simulated analog parts settle at once; keep a token pause so timing code still runs.
    std::this_thread::sleep_for(std::chrono::microseconds(std::min<uint32_t>(delayUs, 1000)));
}

std::shared_ptr<EndpointQueue> SimDevice::endpoint(uint8_t address, uint32_t count, uint32_t bytes)
{
    if (!connected_) return nullptr;
    if (address == USB_ENDPOINT_EVENTS) {
        const uint32_t fifo = options_.eventFifoBuffers ? options_.eventFifoBuffers
                                                        : std::max<uint32_t>(8, (16u << 20) / std::max<uint32_t>(bytes, 1));
        events_->setBufferBytes(bytes);
        events_->setCapacity(count + fifo);
        return events_;
    }
    if (address == USB_ENDPOINT_FRAMES && frames_) {
        frames_->setBufferBytes(bytes);
        frames_->setCapacity(count + (options_.frameFifoBuffers ? options_.frameFifoBuffers : 2));
        return frames_;
    }
    return nullptr;
}

std::vector<RegisterWrite> SimDevice::writes()
{
    std::lock_guard lock(regMutex_);
    return writes_;
}

void SimDevice::clearWrites()
{
    std::lock_guard lock(regMutex_);
    writes_.clear();
}

uint32_t SimDevice::peek(uint32_t address)
{
    std::lock_guard lock(regMutex_);
    return reg(address);
}

uint32_t SimDevice::reg(uint32_t address) const
{
    const auto it = regs_.find(address);
    return it == regs_.end() ? 0 : it->second;
}

uint32_t SimDevice::field(const std::string& name, const std::string& fieldName) const
{
    const RegisterMap& map = dvsMap_.contains(name) ? dvsMap_ : apsMap_;
    const Register& r = map[name];
    return r[fieldName].extract(reg(r.get_address()));
}

bool SimDevice::readoutActive()
{
    std::lock_guard lock(regMutex_);
    return field("roi_ctrl", "px_td_rstn") && field("ro/time_base_ctrl", "time_base_enable") &&
           !field("ro/ro_ctrl", "output_disable") && field("mipi_csi/mipi_control", "mipi_csi_enable");
}

SimDevice::Snapshot SimDevice::snapshot()
{
    Snapshot s;
    s.readout = readoutActive();
    std::lock_guard lock(regMutex_);
    SensorSettings& ss = s.sensor;
    ss.targetRate = options_.eventRate;
    auto bias = [&](const char* name) {
        const Register& r = dvsMap_[std::string("bias/") + name];
        return static_cast<int>(r["idac_ctl"].extract(reg(r.get_address()))) -
               static_cast<int>(r["idac_ctl"].get_default_value());
    };
    ss.diffOn = bias("bias_diff_on"), ss.diffOff = bias("bias_diff_off"), ss.diff = bias("bias_diff");
    ss.fo = bias("bias_fo"), ss.hpf = bias("bias_hpf"), ss.refr = bias("bias_refr");
    ss.roiEnabled = field("roi_ctrl", "roi_td_en") != 0;
    ss.roiKeepWindow = field("roi_ctrl", "td_roi_roni_n_en") != 0;
    if (ss.roiEnabled) {
        // A set mask bit takes its column or row out ("disable" writes ones).
        ss.roiColumn.assign(kWidth, 0);
        ss.roiRow.assign(kHeight, 0);
        for (int x = 0; x < kWidth; ++x) ss.roiColumn[x] = !((reg(0x2000 + 4 * (x / 32)) >> (x % 32)) & 1);
        for (int y = 0; y < kHeight; ++y) ss.roiRow[y] = !((reg(0x4000 + 4 * (y / 32)) >> (y % 32)) & 1);
    }
    ss.afkEnabled = field("afk/pipeline_control", "enable") && !field("afk/pipeline_control", "bypass");
    ss.afkBandPass = field("afk/param", "invert") != 0;
    const uint32_t minPeriod = std::max<uint32_t>(1, field("afk/filter_period", "min_cutoff_period"));
    const uint32_t maxPeriod = std::max<uint32_t>(1, field("afk/filter_period", "max_cutoff_period"));
    ss.afkHighHz = 1e6 / (32.0 * minPeriod);
    ss.afkLowHz = 1e6 / (32.0 * maxPeriod);
    const bool stcPipe = field("stc/pipeline_control", "enable") && !field("stc/pipeline_control", "bypass");
    ss.stcEnabled = stcPipe && field("stc/stc_param", "stc_enable");
    ss.trailEnabled = stcPipe && field("stc/trail_param", "trail_enable");
    ss.stcThresholdUs = field("stc/stc_param", "stc_threshold");
    ss.trailThresholdUs = field("stc/trail_param", "trail_threshold");
    ss.ercEnabled = field("erc/erc_enable", "erc_en") != 0;
    ss.ercPeriodUs = field("erc/reference_period", "erc_reference_period");
    ss.ercEventsPerPeriod = field("erc/td_target_event_rate", "target_event_rate");
    s.triggerIn = field("ext_trigger_ctrl", "trigger_in_en") != 0;
    // Slave: the time base follows a master's sync input, and there is none on the bus.
    s.slave = field("ro/time_base_ctrl", "time_base_mode") && !field("ro/time_base_ctrl", "external_mode");
    if (isFusion()) {
        s.apsOn = field("aps_ctrl", "aps_en") != 0;
        s.frame.autoExposure = field("aps_exposure", "aps_auto_exposure_en") != 0;
        s.frame.shutterLines = field("aps_shutter", "aps_shutter_sweep_time");
        s.frame.autoWhiteBalance = field("aps_white_balance", "aps_auto_white_balance_en") != 0;
        s.frame.blackLevel = field("aps_blk_level", "aps_blk_level_offset");
        s.exposureUs = s.frame.autoExposure ? 8000 : std::clamp<uint32_t>(s.frame.shutterLines * 15, 100, 30000);
    }
    return s;
}

void SimDevice::push(std::vector<uint8_t>& pending, size_t bytes, bool partial)
{
    size_t at = 0;
    while (pending.size() - at >= bytes || (partial && at < pending.size())) {
        const size_t n = std::min(bytes, pending.size() - at);
        BufferPtr b = pool_->take(n);
        std::memcpy(b->data(), pending.data() + at, n);
        if (isFusion()) {
            // The fusion camera's link sends each 16-bit word most significant byte first.
            uint8_t* d = b->data();
            for (size_t i = 0; i + 1 < n; i += 2) std::swap(d[i], d[i + 1]);
        }
        events_->push(std::move(b));
        at += n;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
}

void SimDevice::eventLoop()
{
    EventScene scene;
    ReplaySource* const replay = replay_.get();
    const bool replaying = replay != nullptr;
    Evt3Encoder encoder(Evt3Encoder::Options{true, 16});
    std::vector<Event2D> events;
    std::vector<uint8_t> pending;
    uint64_t seen = 0, cursor = 0, replayBase = 0;
    bool live = false;
    bool edgePending = false;
    Snapshot s;
    auto firstData = std::chrono::steady_clock::now();
    while (sleepFor(std::chrono::microseconds(1000))) {
        if (generation_.load() != seen) {
            seen = generation_.load();
            s = snapshot();
            scene.configure(s.sensor);
        }
        const bool want = s.readout && events_->armed();
        const uint64_t now = nowUs() / kSliceUs * kSliceUs;
        if (!want) {
            live = false;
            pending.clear();
            continue;
        }
        if (!live) {
            live = true;
            cursor = now;
            encoder.reset();
            replayBase = now;
            firstData = std::chrono::steady_clock::now();
        }
        if (now - cursor > kMaxCatchUpUs) {
            ORVANE_LOG_WARNING("%s: the simulated sensor fell %llu ms behind; skipping ahead", desc_.serial.c_str(),
                               static_cast<unsigned long long>((now - cursor) / 1000));
            cursor = now - kSliceUs;
        }
        const size_t bytes = std::max<uint32_t>(2, events_->bufferBytes()) & ~size_t{1};
        for (; cursor < now; cursor += kSliceUs) {
            if (pending.empty()) firstData = std::chrono::steady_clock::now();
            if (replaying) {
                replay->produce(replay->firstTimeUs() + (cursor + kSliceUs - replayBase), pending);
            } else {
                events.clear();
                scene.produce(cursor, cursor + kSliceUs, events);
                std::vector<EventTriggerIn> triggers;
                if (s.triggerIn && isFusion()) {
                    // One rising edge at each exposure start, one falling edge at its end.
                    for (uint64_t k = cursor / kFramePeriodUs; k * kFramePeriodUs < cursor + kSliceUs; ++k) {
                        const uint64_t rise = k * kFramePeriodUs;
                        if (rise >= cursor && rise < cursor + kSliceUs) triggers.emplace_back(0, 1, rise);
                    }
                    for (uint64_t k = (cursor > 30000 ? cursor - 30000 : 0) / kFramePeriodUs;
                         k * kFramePeriodUs < cursor + kSliceUs; ++k) {
                        const uint64_t fall = k * kFramePeriodUs + s.exposureUs;
                        if (fall >= cursor && fall < cursor + kSliceUs) triggers.emplace_back(0, 0, fall);
                    }
                    std::sort(triggers.begin(), triggers.end(),
                              [](const EventTriggerIn& a, const EventTriggerIn& b) { return a.timestamp < b.timestamp; });
                }
                if (s.slave) {
                    for (Event2D& e : events) e.timestamp = 0;
                    for (EventTriggerIn& t : triggers) t.timestamp = 0;
                }
                const Event2D* e = events.data();
                const Event2D* const end = e + events.size();
                edgePending |= !triggers.empty();
                for (const EventTriggerIn& t : triggers) {
                    const Event2D* stop = e;
                    while (stop != end && stop->timestamp <= t.timestamp) ++stop;
                    encoder.encode(e, stop, pending);
                    encoder.encodeTrigger(t, pending);
                    e = stop;
                }
                encoder.encode(e, end, pending);
                if (!s.slave) encoder.encodeTime(cursor + kSliceUs - 1, pending);
            }
            if (pending.size() >= bytes) push(pending, bytes, false);
        }
        filtered_.store(scene.filteredOut());
        // A trigger edge goes out at once (as a short transfer), so the host learns of an exposure
        // before its frame arrives.
        if (!pending.empty() && (edgePending || std::chrono::steady_clock::now() - firstData >= kShortTransferAfter))
            push(pending, bytes, true);
        edgePending = false;
    }
}

void SimDevice::frameLoop()
{
    uint64_t seen = 0;
    Snapshot s;
    uint64_t k = nowUs() / kFramePeriodUs + 1;
    while (!quit_) {
        if (generation_.load() != seen) {
            seen = generation_.load();
            s = snapshot();
        }
        // A frame leaves the sensor a few milliseconds after its exposure ends.
        const uint64_t deliver = k * kFramePeriodUs + s.exposureUs + 3000;
        const uint64_t now = nowUs();
        if (now < deliver) {
            if (!sleepFor(std::chrono::microseconds(std::min<uint64_t>(deliver - now, 5000)))) break;
            continue;
        }
        if (s.apsOn && frames_->armed()) {
            BufferPtr b = framePool_->take(kFrameBytes);
            renderFrame(k * kFramePeriodUs + s.exposureUs / 2, s.frame, *b);
            frames_->push(std::move(b));
        }
        k = std::max(k + 1, nowUs() / kFramePeriodUs);
    }
}

}  // namespace orvane::sim
