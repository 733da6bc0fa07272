#include "TandemCamera.h"

#include "RawRecorder.h"
#include "orvane/base/Endian.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/Imx415Sensor.h"
#include "orvane/driver/Imx6x6Sensor.h"
#include "orvane/hal/EventStream.h"
#include "orvane/hal/RegisterController.h"
#include "orvane/hal/RegisterTables.h"
#include "orvane/hal/UsbInterface.h"

#include <chrono>
#include <thread>

namespace orvane {
namespace {

// Chunks each recording pool makes at its start; the pools grow when the disk or the encoder
// falls behind. A few suffice: chunks are reused once written, and making 64 of each (1.4 GB,
// zeroed) made every start of a recording take half a second.
constexpr size_t kRecordPoolChunks = 4;

// Longest wait of a frame for its exposure's trigger edge: under a frame period.
constexpr auto kEdgeWait = std::chrono::milliseconds(25);

}  // namespace

TandemCamera::TandemCamera(CameraDescription description)
    : FusionCameraPrivate(std::move(description)),
      apsFrameData(kBgrFrameBytes),
      dvsRecorder(std::make_unique<RawRecorder>(kDvsChunkBytes, kRecordPoolChunks))
{
    apsFrame.data = apsFrameData.data();
    apsFrame.size = static_cast<uint32_t>(apsFrameData.size());
}

TandemCamera::~TandemCamera()
{
    // The camera threads call into this object: end them, then the recordings (their record
    // threads would otherwise outlive the members they use and the files stay unfinished).
    stop(STREAM_BOTH);
    stopRecording(STREAM_BOTH);
}

bool TandemCamera::isConnected() const
{
    return interface && interface->connected();
}

uint16_t TandemCamera::getWidth(STREAM_TYPE type)
{
    return static_cast<uint16_t>(type == STREAM_APS ? apsWidth : dvsWidth);
}

uint16_t TandemCamera::getHeight(STREAM_TYPE type)
{
    return static_cast<uint16_t>(type == STREAM_APS ? apsHeight : dvsHeight);
}

int TandemCamera::init()
{
    if (inited) return 0;
    try {
        auto created = UsbInterface::createUsbFusionInterface(desc);
        if (!created) {
            ORVANE_LOG_ERROR("Interface init error.");
            return -1;
        }
        interface = std::move(created);
        interface->bindCameraSlot(&interfaceSlot);

        dvsRegisterController =
            std::make_shared<RegisterController>(interface, imx636RegisterInfo, imx636RegisterInfoCount, "PSEE/IMX636/");
        apsRegisterController = std::make_shared<RegisterController>(interface, imx415RegisterInfo,
                                                                     imx415RegisterInfoCount, kImx415RegisterPrefix);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

        decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
        decoder->setEventsStreamHandleCallback(
            [this](const Event2D* begin, const Event2D* end) { eventStreamArrvied(begin, end); });
        decoder->setTriggerInCallback([this](EventTriggerIn trigger) { triggerInArrvied(trigger); });

        auto imx636 = std::make_unique<Imx6x6Sensor>();
        imx636->bindTo(dvsRegisterController);
        dvsSensor = std::move(imx636);
        dvsSensor->init(interface);  // a failed bring-up is logged by the sensor

        auto imx415 = std::make_unique<Imx415Sensor>();
        const std::shared_ptr<RegisterController> aps = apsRegisterController;
        imx415->setWriteRegisterCallback(
            [aps](const std::string& reg, uint32_t value) { aps->writeRegisterWithControlTransfer(reg, value); });
        apsSensor = std::move(imx415);
        apsSensor->init(interface);

        createTools();
        inited = true;
        return 0;
    } catch (const std::exception& e) {
        ORVANE_LOG_ERROR("Tandem Camera init error.");
        ORVANE_LOG_DETAIL("%s", e.what());
        return -1;
    }
}

void TandemCamera::resetDevicePipes()
{
    auto* usb = dynamic_cast<UsbInterface*>(interface.get());
    try {
        if (!usb) throw std::runtime_error("no USB interface");
        for (const uint32_t command : {uint32_t{CTRL_EVENT_PIPE_RESET}, uint32_t{CTRL_FRAME_PIPE_RESET}}) {
            CtrlFrame frame(command);
            frame.push_back32(0);
            frame.push_back32(1);
            usb->transferFrame(frame);
        }
    } catch (const std::exception&) {
        ORVANE_LOG_ERROR("Camera is running or no this command.");
    }
}

int TandemCamera::start(STREAM_TYPE type)
{
    std::lock_guard guard(startStopLock);
    if (!inited) {
        ORVANE_LOG_ERROR("The Tandem camera is not initialised; it cannot start.");
        return -1;
    }
    if (running.load() == 1) {
        ORVANE_LOG_INFO("Camera is running.");
        return 0;
    }
    resetDevicePipes();
    {
        // Times of an earlier run must not stamp this run's first frames.
        std::lock_guard lock(frameMutex);
        apsFrame.timestamp = apsFrame.fallTimestamp = 0;
        risingEdges = edgesAtLastFrame = 0;
    }
    restartEdgeCount();
    running = 1;
    const bool dvs = type != STREAM_APS;
    const bool aps = type != STREAM_DVS;
    if (dvs) {
        delivery.setStreaming(true);
        reopenFusionBuffer();
        dvsSensor->start();
        dvsThread = std::thread(&TandemCamera::dvsCameraLoop, this);
    }
    if (aps) {
        // The frame sensor only sends frames once its output is on, whichever streams start.
        apsSensor->start();
        apsThread = std::thread(&TandemCamera::apsCameraLoop, this);
    }
    ORVANE_LOG_INFO("Camera event stream start.");
    return 0;
}

int TandemCamera::stop(STREAM_TYPE)
{
    std::lock_guard guard(startStopLock);
    if (running.load() == 0) return 0;
    running = 0;
    // Wakes batch consumers, and a trigger waiting for a fusion buffer a consumer still holds.
    delivery.setStreaming(false);
    if (dvsThread.joinable()) dvsThread.join();
    if (apsThread.joinable()) apsThread.join();
    apsSensor->stop();
    dvsSensor->stop();
    return 0;
}

uint32_t TandemCamera::addApsFrameCallback(std::function<void(const ApsFrame&)> callback)
{
    const uint32_t id = apsCallbacks.add(std::move(callback));
    if (id == kInvalidCallbackId) ORVANE_LOG_WARNING("An empty APS frame callback cannot be called; not added.");
    return id;
}

bool TandemCamera::removeApsFrameCallback(uint32_t id)
{
    return apsCallbacks.remove(id);
}

void TandemCamera::dvsCameraLoop()
{
    while (running.load() == 1) {
        auto buffer = dvsSensor->getNextBuffer();
        if (buffer && *buffer && !(*buffer)->empty()) {
            std::vector<uint8_t>& data = **buffer;
            convertEndian(data);  // the link sends each 16-bit word most significant byte first
            if (dvsRecorder->recording()) {
                learnRecordTimeBase(data);
                prepareDvsData2Save(data);
            }
            decoder->decodeBuffer(data);
        } else if (!isConnected()) {
            ORVANE_LOG_INFO("Tandem loss connection.");
            return;
        }
    }
}

void TandemCamera::apsCameraLoop()
{
    if (!videoConverter) {
        videoConverter = std::make_shared<DataToVideoConverter>();
        videoConverter->setConverterFrameSize(static_cast<int32_t>(apsHeight), static_cast<int32_t>(apsWidth),
                                              static_cast<int32_t>(apsHeight), static_cast<int32_t>(apsWidth));
        videoConverter->setConverterFmt(VIDEO_PIX_FMT_NV12, VIDEO_PIX_FMT_BGR24);
    }
    bool warnedShort = false;
    while (running.load() == 1) {
        auto buffer = apsSensor->getNextBuffer();
        if (buffer && *buffer) {
            std::vector<uint8_t>& nv12 = **buffer;
            if (nv12.size() < kApsFrameBytes) {
                // Converting it would read past its end.
                if (!warnedShort) {
                    ORVANE_LOG_WARNING("An APS frame of %zu bytes is shorter than a 3840x2160 NV12 image; skipped.",
                                       nv12.size());
                    warnedShort = true;
                }
                continue;
            }
            handleApsFrame(nv12);
        } else if (!isConnected()) {
            ORVANE_LOG_INFO("Tandem loss connection.");
            return;
        }
    }
}

void TandemCamera::handleApsFrame(std::vector<uint8_t>& nv12)
{
    ApsFrame frame;
    {
        std::unique_lock frameLock(frameMutex);
        // A frame follows the rising edge of its exposure. While the edges come in but this
        // frame's has not been decoded yet (its event data is still on the way), wait a little
        // for it rather than stamp the frame with the previous exposure's time.
        if (risingEdges != 0 && risingEdges == edgesAtLastFrame) {
            frameTimeCond.wait_for(frameLock, kEdgeWait,
                                   [this] { return risingEdges != edgesAtLastFrame || running.load() == 0; });
        }
        edgesAtLastFrame = risingEdges;
        frame = apsFrame;
    }
    const uint64_t edge = edgesAtLastFrame;  // which edge since the start stamps it (0: none)
    // The conversion, the hand-over and the callbacks work on the frame's own copy of its times,
    // outside the frame lock: the DVS thread takes that lock at every trigger edge and must not
    // wait for a 4K conversion, or the device would overflow and drop events.
    if (videoConverter->nv12ToRGB(nv12.data(), apsFrameData.data()) != 0) return;  // logged; no stale image
    frame.data = apsFrameData.data();
    frame.size = static_cast<uint32_t>(apsFrameData.size());
    if (apsRecording.load()) prepareApsData2Save(nv12, frame.timestamp, edge);
    apsCallbacks.call(frame);
}

}  // namespace orvane
