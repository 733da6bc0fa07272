// What the side panels are showing settings for. The main window puts every panel into one of these
// states whenever the source changes; each panel hides or disables what does not apply to it.
#pragma once

enum class PanelSourceState {
    NoCamera, // nothing open, or a recording for a panel that only concerns cameras
    Camera,   // a live camera: every section that has a tool applies
    File,     // a recording: display settings apply, sensor settings do not
};
