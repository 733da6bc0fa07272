// The maker's fusion camera: one USB device with an IMX636 event sensor (1280x720) and an IMX415
// frame sensor (3840x2160) whose exposures reach the event sensor's trigger input.
//
// Threads. The application thread inits, starts, stops, records and registers callbacks. The DVS
// thread (dvsCameraLoop) takes raw buffers, swaps their bytes into EVT 3.0 order, hands them to
// the raw recorder and decodes them (events and trigger edges reach FusionCameraPrivate). The APS
// thread (apsCameraLoop) converts each NV12 frame into the one BGR frame, hands the NV12 bytes to
// the video recording and calls the frame callbacks. The two record threads write the raw file
// and encode the mp4, so neither camera thread waits for the disk or the encoder.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "orvane/driver/FusionCameraPrivate.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

class DataToVideoConverter;
class RawRecorder;
class RegisterController;
class Sensor;
class UsbInterface;

class TandemCamera : public FusionCameraPrivate {
public:
    static constexpr uint16_t vendorId = 0x2207;
    static constexpr uint16_t productId = 0x0006;
    static constexpr INTERFACE_TYPE interfaceType = INTERFACE_USB;
    static const char* getManufacturer() { return "Orvane"; }
    static const char* getProductName() { return "Tandem"; }

    // A DVS chunk goes to the record thread once it holds more than this many bytes.
    static constexpr uint64_t kDvsChunkBytes = 1280 * 720 * 10;
    static constexpr uint64_t kApsFrameBytes = 3840 * 2160 * 3 / 2;
    static constexpr uint64_t kBgrFrameBytes = 3840 * 2160 * 3;

    explicit TandemCamera(CameraDescription description);
    ~TandemCamera() override;

    bool isConnected() const override;
    uint16_t getWidth(STREAM_TYPE type) override;
    uint16_t getHeight(STREAM_TYPE type) override;
    int start(STREAM_TYPE type) override;
    int stop(STREAM_TYPE type) override;
    uint32_t addApsFrameCallback(std::function<void(const ApsFrame&)> callback) override;
    bool removeApsFrameCallback(uint32_t id) override;
    int startRecording(std::string path, STREAM_TYPE type) override;
    int stopRecording(STREAM_TYPE type) override;

    FusionCameraStatistics statistics() const override;

protected:
    int init() override;
    void dvsCameraLoop();
    void apsCameraLoop();

private:
    void createTools();
    void resetDevicePipes();
    void handleApsFrame(std::vector<uint8_t>& nv12);

    int startRecordingDvsStream(std::string path);
    int startRecordingApsStream(std::string path);
    void apsRecordLoop();
    void prepareDvsData2Save(std::vector<uint8_t>& buffer);
    // DVS thread, for each buffer that goes into the raw file, before the live decode: finds how
    // far the live times are ahead of the times the file decodes to (see recordTimeBase).
    void learnRecordTimeBase(const std::vector<uint8_t>& buffer);
    // `edge`: the count (since the stream started) of the rising edge that stamps the frame, 0 when
    // none came yet and `timestamp` is no DVS time.
    void prepareApsData2Save(std::vector<uint8_t>& buffer, uint64_t timestamp, uint64_t edge);
    void restartEdgeCount();
    bool triggerInEnabled();
    int stopRecordingAps();
    void acceptApsFrames(bool accept);

    std::shared_ptr<UsbInterface> interface;
    uint64_t interfaceSlot = 0;
    std::shared_ptr<RegisterController> dvsRegisterController;
    std::shared_ptr<RegisterController> apsRegisterController;
    std::unique_ptr<Decoder> decoder;
    std::unique_ptr<Sensor> dvsSensor;
    std::unique_ptr<Sensor> apsSensor;
    bool inited = false;
    std::atomic<int32_t> running{0};
    std::mutex startStopLock;  // start and stop from different threads must not race on the threads
    std::thread dvsThread;
    std::thread apsThread;
    std::vector<uint8_t> apsFrameData;  // the BGR image behind apsFrame, reused for every frame
    uint64_t edgesAtLastFrame = 0;      // APS thread: risingEdges when the last frame was stamped

    CallbackRegistry<std::function<void(const ApsFrame&)>> apsCallbacks;  // called on the APS thread
    std::shared_ptr<DataToVideoConverter> videoConverter;  // NV12 to BGR for the live frames

    // DVS recording: the raw file.
    std::unique_ptr<RawRecorder> dvsRecorder;
    // A raw file decodes from its own start, so its times count the 24-bit time's loops from 0,
    // while the live decoder has counted every loop since the camera started. recordTimeBase is
    // the difference (whole loops), learnt from the first recorded bytes before any edge in them
    // is decoded live; the mp4's first-frame time is kept in the raw file's time.
    std::atomic<uint64_t> recordSession{0};  // one more at each raw recording's start
    std::atomic<uint64_t> recordTimeBase{0};
    uint64_t probedSession = 0;              // DVS thread: the recording recordTimeBase is of
    std::unique_ptr<Decoder> recordTimeProbe;  // DVS thread: the recording's bytes decoded as the file will be
    uint64_t probeLiveStart = 0;             // DVS thread: the live time before the recording's first bytes

    // APS recording: frames queued to the record thread, which encodes them into the mp4.
    struct QueuedFrame {
        std::shared_ptr<std::vector<uint8_t>> nv12;
        int64_t offset;  // presentation time in the mp4: DVS time minus that of the first frame
    };
    std::atomic<bool> apsRecording{false};  // from a successful start until its stop
    std::mutex recordControlLock;  // one recording start or stop at a time, from any thread
    bool apsAccepting = false;       // under apsRecordMutex: frames go into the mp4
    uint64_t apsFirstEdge = 0;       // under apsRecordMutex: frames of earlier edges are not in the raw file
    bool apsRecordStopping = false;  // under apsRecordMutex: the record thread drains and ends
    std::string apsRecordPath;
    std::thread apsRecordThread;
    std::shared_ptr<DataToVideoConverter> apsRecordConverter;
    std::unique_ptr<ObjectPool<std::vector<uint8_t>>> apsRecordPool;
    std::deque<QueuedFrame> apsRecordQueue;
    std::mutex apsRecordMutex;
    std::condition_variable apsRecordCond;
    bool haveMp4Offset = false;  // under apsRecordMutex
    uint64_t mp4Offset = 0;
    int64_t lastOffset = -1;     // under apsRecordMutex: the last frame's time in the mp4
    bool guessedOffset = false;  // the last frame had no trigger time of its own
    std::atomic<uint64_t> apsFramesQueued{0}, apsFramesEncoded{0}, apsFramesFailed{0}, apsFramesDropped{0},
        apsFramesRestamped{0};
};

}  // namespace orvane
