// What a camera delivered, what the device had to drop and what its recording wrote, as a value a
// caller reads from any thread (DvsCamera::statistics, FusionCamera::statistics). Every count runs
// from the camera's opening, except the recording's, which are those of the recording running or
// last stopped.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

struct CameraStatistics {
    uint64_t eventsDelivered = 0;  // decoded events handed to the callbacks and batches
    // Event data the device dropped because the host did not take it in time.
    uint64_t droppedBuffers = 0;
    uint64_t droppedBytes = 0;

    // The raw recording. Its writes tell whether chunks went out full (a busy camera) or by age
    // (a quiet one).
    uint64_t recordedBytes = 0;  // bytes written to the raw file
    uint64_t recordingWrites = 0;
    uint64_t smallestWrite = 0;
    uint64_t largestWrite = 0;
    std::string recordingFailure;  // why writing failed ("file size limit reached"), or empty
};

// A fusion camera counts its frames too; the frame recording's counts restart with each recording.
struct FusionCameraStatistics : CameraStatistics {
    uint64_t apsFramesDroppedByDevice = 0;  // frames the device dropped (the host was late)
    uint64_t apsFramesQueued = 0;           // frames handed to the video encoder
    uint64_t apsFramesEncoded = 0;
    uint64_t apsFramesFailed = 0;     // the encoder refused them
    uint64_t apsFramesDropped = 0;    // the encoder fell too far behind
    uint64_t apsFramesRestamped = 0;  // no new trigger time: stamped one frame period on
};

}  // namespace orvane
