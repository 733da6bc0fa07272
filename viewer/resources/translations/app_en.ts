<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>CamerasList</name>
    <message>
        <source>Cameras</source>
        <translation>Cameras</translation>
    </message>
    <message>
        <source>Open a camera</source>
        <translation>Open a camera</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>No camera found.</source>
        <translation>No camera found.</translation>
    </message>
</context>
<context>
    <name>EventCameraSource</name>
    <message>
        <source>Please connect camera first.</source>
        <translation>Please connect camera first.</translation>
    </message>
    <message>
        <source>The camera did not start. Please check the camera connection.</source>
        <translation>The camera did not start. Please check the camera connection.</translation>
    </message>
</context>
<context>
    <name>FusionCameraSource</name>
    <message>
        <source>Please connect camera first.</source>
        <translation>Please connect camera first.</translation>
    </message>
    <message>
        <source>The camera did not start. Please check the camera connection.</source>
        <translation>The camera did not start. Please check the camera connection.</translation>
    </message>
</context>
<context>
    <name>InitDialog</name>
    <message>
        <source>Event camera viewer</source>
        <translation>Event camera viewer</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
</context>
<context>
    <name>Language</name>
    <message>
        <source>The language change will take effect after restart.</source>
        <translation>The language change will take effect after restart.</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Restart</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Later</translation>
    </message>
</context>
<context>
    <name>MainWidget</name>
    <message>
        <source>Device</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>Setting</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Camera: </source>
        <translation>Camera: </translation>
    </message>
    <message>
        <source> | Time: </source>
        <translation> | Time: </translation>
    </message>
    <message>
        <source>Open Camera</source>
        <translation>Open Camera</translation>
    </message>
    <message>
        <source>Open Recording</source>
        <translation>Open Recording</translation>
    </message>
    <message>
        <source>Save as...</source>
        <translation>Save as...</translation>
    </message>
    <message>
        <source>Cut Recording</source>
        <translation>Cut Recording</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>General Setting</source>
        <translation>General Setting</translation>
    </message>
    <message>
        <source>About us</source>
        <translation>About us</translation>
    </message>
    <message>
        <source>Toggle Start/End Point</source>
        <translation>Toggle Start/End Point</translation>
    </message>
    <message>
        <source> | Rate: </source>
        <translation> | Rate: </translation>
    </message>
    <message>
        <source>Play/Stop</source>
        <translation>Play/Stop</translation>
    </message>
    <message>
        <source>Start/Stop recording</source>
        <translation>Start/Stop recording</translation>
    </message>
    <message>
        <source>Previous frame</source>
        <translation>Previous frame</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>Next frame</translation>
    </message>
    <message>
        <source>Reset the playback progress to the beginning</source>
        <translation>Reset the playback progress to the beginning</translation>
    </message>
    <message>
        <source>Select to automatically replay at the end of the playback</source>
        <translation>Select to automatically replay at the end of the playback</translation>
    </message>
    <message>
        <source>Is it open in the browser?</source>
        <translation>Is it open in the browser?</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Searching for cameras failed: %1</source>
        <translation>Searching for cameras failed: %1</translation>
    </message>
    <message>
        <source>Camera not found: %1</source>
        <translation>Camera not found: %1</translation>
    </message>
    <message>
        <source>Open camera: </source>
        <translation>Open camera: </translation>
    </message>
    <message>
        <source>failed.</source>
        <translation>failed.</translation>
    </message>
    <message>
        <source>Select a raw file</source>
        <translation>Select a raw file</translation>
    </message>
    <message>
        <source>RAW files (*.raw)</source>
        <translation>RAW files (*.raw)</translation>
    </message>
    <message>
        <source>Not a raw recording: %1</source>
        <translation>Not a raw recording: %1</translation>
    </message>
    <message>
        <source>Opening %1 ...</source>
        <translation>Opening %1 ...</translation>
    </message>
    <message>
        <source>it is not an EVT 3.0 recording or its header is malformed</source>
        <translation>it is not an EVT 3.0 recording or its header is malformed</translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>Cannot open %1: %2</translation>
    </message>
    <message>
        <source>Recording: </source>
        <translation>Recording: </translation>
    </message>
    <message>
        <source>Please connect camera first.</source>
        <translation>Please connect camera first.</translation>
    </message>
    <message>
        <source> | Dropped: %1</source>
        <translation> | Dropped: %1</translation>
    </message>
    <message>
        <source>The camera dropped %1 of data: the computer did not take it in time.</source>
        <translation>The camera dropped %1 of data: the computer did not take it in time.</translation>
    </message>
    <message>
        <source>Camera connection lost.</source>
        <translation>Camera connection lost.</translation>
    </message>
    <message>
        <source>Reading the recording failed: %1</source>
        <translation>Reading the recording failed: %1</translation>
    </message>
    <message>
        <source>Please open a raw file first.</source>
        <translation>Please open a raw file first.</translation>
    </message>
    <message>
        <source>Cut failed: %1</source>
        <translation>Cut failed: %1</translation>
    </message>
    <message>
        <source>Export failed: %1</source>
        <translation>Export failed: %1</translation>
    </message>
    <message>
        <source>the start time must be before the end time</source>
        <translation>the start time must be before the end time</translation>
    </message>
    <message>
        <source>the time range lies outside the recording</source>
        <translation>the time range lies outside the recording</translation>
    </message>
    <message>
        <source>no file name was given</source>
        <translation>no file name was given</translation>
    </message>
    <message>
        <source>the folder does not exist: %1</source>
        <translation>the folder does not exist: %1</translation>
    </message>
    <message>
        <source>the folder is not writable: %1</source>
        <translation>the folder is not writable: %1</translation>
    </message>
    <message>
        <source>it would overwrite the open recording</source>
        <translation>it would overwrite the open recording</translation>
    </message>
    <message>
        <source>Cutting: %1 %</source>
        <translation>Cutting: %1 %</translation>
    </message>
    <message>
        <source>Exporting: %1 %</source>
        <translation>Exporting: %1 %</translation>
    </message>
    <message>
        <source>%1 could not be written (see the log for the reason)</source>
        <translation>%1 could not be written (see the log for the reason)</translation>
    </message>
    <message>
        <source>Export raw file success!</source>
        <translation>Export raw file success!</translation>
    </message>
    <message>
        <source>Export video success!</source>
        <translation>Export video success!</translation>
    </message>
    <message>
        <source>The frames of %1 could not be read; its events open as a plain recording.</source>
        <translation>The frames of %1 could not be read; its events open as a plain recording.</translation>
    </message>
    <message>
        <source>Start the camera before recording.</source>
        <translation>Start the camera before recording.</translation>
    </message>
    <message>
        <source>Playback stopped: %1</source>
        <translation>Playback stopped: %1</translation>
    </message>
    <message>
        <source>Open Recent</source>
        <translation>Open Recent</translation>
    </message>
    <message>
        <source>No recent recordings</source>
        <translation>No recent recordings</translation>
    </message>
    <message>
        <source> | Pixel: </source>
        <translation> | Pixel: </translation>
    </message>
    <message>
        <source>x %1  y %2</source>
        <translation>x %1  y %2</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>Saved %1</translation>
    </message>
    <message>
        <source>%1 (about %2 s left)</source>
        <translation>%1 (about %2 s left)</translation>
    </message>
    <message>
        <source>Cut cancelled; no file was written.</source>
        <translation>Cut cancelled; no file was written.</translation>
    </message>
    <message>
        <source>Export cancelled; no file was written.</source>
        <translation>Export cancelled; no file was written.</translation>
    </message>
    <message>
        <source>the file name must end in one of %1</source>
        <translation>the file name must end in one of %1</translation>
    </message>
    <message>
        <source>this recording cannot be exported</source>
        <translation>this recording cannot be exported</translation>
    </message>
    <message>
        <source>Exported %1.</source>
        <translation>Exported %1.</translation>
    </message>
</context>
<context>
    <name>OvCutRawFile</name>
    <message>
        <source>Cut Recording</source>
        <translation>Cut Recording</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Cut</translation>
    </message>
</context>
<context>
    <name>OvExportVideoUI</name>
    <message>
        <source>Export</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Raw recording (%1)</source>
        <translation>Raw recording (%1)</translation>
    </message>
    <message>
        <source>H.264 video (%1)</source>
        <translation>H.264 video (%1)</translation>
    </message>
    <message>
        <source>CSV events (%1)</source>
        <translation>CSV events (%1)</translation>
    </message>
    <message>
        <source>HDF5 datasets (%1)</source>
        <translation>HDF5 datasets (%1)</translation>
    </message>
    <message>
        <source>Export As</source>
        <translation>Export As</translation>
    </message>
    <message>
        <source> fps</source>
        <translation> fps</translation>
    </message>
    <message>
        <source>Recording seconds shown per second of video</source>
        <translation>Recording seconds shown per second of video</translation>
    </message>
    <message>
        <source>The recording time whose events make each frame</source>
        <translation>The recording time whose events make each frame</translation>
    </message>
    <message>
        <source>Accumulation</source>
        <translation>Accumulation</translation>
    </message>
    <message>
        <source>Time surface</source>
        <translation>Time surface</translation>
    </message>
    <message>
        <source>Grey</source>
        <translation>Grey</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>Dark</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>Time surface: how long a pixel takes to fade</source>
        <translation>Time surface: how long a pixel takes to fade</translation>
    </message>
    <message>
        <source>Frame Rate</source>
        <translation>Frame Rate</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>Theme</source>
        <translation>Theme</translation>
    </message>
    <message>
        <source>Time Constant</source>
        <translation>Time Constant</translation>
    </message>
    <message>
        <source>The file name must end in one of %1.</source>
        <translation>The file name must end in one of %1.</translation>
    </message>
    <message>
        <source>Time of one frame</source>
        <translation>Time of one frame</translation>
    </message>
</context>
<context>
    <name>OvFilePathReminderForm</name>
    <message>
        <source>Open Dir</source>
        <translation>Open Dir</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Success</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>The folder could not be opened (no file manager?): %1</source>
        <translation>The folder could not be opened (no file manager?): %1</translation>
    </message>
</context>
<context>
    <name>OvGeneralSetting</name>
    <message>
        <source>General Settings</source>
        <translation>General Settings</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>File Settings</source>
        <translation>File Settings</translation>
    </message>
    <message>
        <source>Default Out Raw File Path</source>
        <translation>Default Out Raw File Path</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>Select Directory</translation>
    </message>
    <message>
        <source>Default Video File Path</source>
        <translation>Default Video File Path</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
</context>
<context>
    <name>OvTimeRangeDialog</name>
    <message>
        <source>The output is a folder. Enter a file name.</source>
        <translation>The output is a folder. Enter a file name.</translation>
    </message>
    <message>
        <source>The output would overwrite the open recording. Choose another file name.</source>
        <translation>The output would overwrite the open recording. Choose another file name.</translation>
    </message>
    <message>
        <source>The output would overwrite the index of the open recording. Choose another file name.</source>
        <translation>The output would overwrite the index of the open recording. Choose another file name.</translation>
    </message>
    <message>
        <source>The output would overwrite the video of the open recording. Choose another file name.</source>
        <translation>The output would overwrite the video of the open recording. Choose another file name.</translation>
    </message>
    <message>
        <source>Times are whole microseconds.</source>
        <translation>Times are whole microseconds.</translation>
    </message>
    <message>
        <source>The start time must be before the end time.</source>
        <translation>The start time must be before the end time.</translation>
    </message>
    <message>
        <source>Choose a folder and a file name.</source>
        <translation>Choose a folder and a file name.</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>Tips</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>Select Directory</translation>
    </message>
    <message>
        <source>The file “%1” already exists. Replace it?</source>
        <translation>The file “%1” already exists. Replace it?</translation>
    </message>
</context>
<context>
    <name>OvTimeRangeForm</name>
    <message>
        <source>Start Time</source>
        <translation>Start Time</translation>
    </message>
    <message>
        <source>Step: 1 ms</source>
        <translation>Step: 1 ms</translation>
    </message>
    <message>
        <source>End Time</source>
        <translation>End Time</translation>
    </message>
    <message>
        <source>Save File Path</source>
        <translation>Save File Path</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>Select Directory</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>File Name</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>PlaybackEngine</name>
    <message>
        <source>Playback stopped: %1</source>
        <translation>Playback stopped: %1</translation>
    </message>
</context>
<context>
    <name>RecordingControl</name>
    <message>
        <source>A recording is already running.</source>
        <translation>A recording is already running.</translation>
    </message>
    <message>
        <source>The recording folder does not exist: %1</source>
        <translation>The recording folder does not exist: %1</translation>
    </message>
    <message>
        <source>The recording folder is not writable: %1</source>
        <translation>The recording folder is not writable: %1</translation>
    </message>
    <message>
        <source>Recording could not start: %1</source>
        <translation>Recording could not start: %1</translation>
    </message>
    <message>
        <source>No recording is running.</source>
        <translation>No recording is running.</translation>
    </message>
    <message>
        <source>The recording could not be saved: %1</source>
        <translation>The recording could not be saved: %1</translation>
    </message>
    <message>
        <source>The recording could not be saved completely: %1</source>
        <translation>The recording could not be saved completely: %1</translation>
    </message>
</context>
<context>
    <name>RecordingSource</name>
    <message>
        <source>Please load file first.</source>
        <translation>Please load file first.</translation>
    </message>
</context>
<context>
    <name>SettingBaseWithLineEdit</name>
    <message>
        <source>Range: %1 to %2</source>
        <translation>Range: %1 to %2</translation>
    </message>
    <message>
        <source>%1 is outside %2 to %3: set to %4</source>
        <translation>%1 is outside %2 to %3: set to %4</translation>
    </message>
</context>
<context>
    <name>SettingDisplayItem</name>
    <message>
        <source>Accumulation time</source>
        <translation>Accumulation time</translation>
    </message>
    <message>
        <source>Slow Rate</source>
        <translation>Slow Rate</translation>
    </message>
    <message>
        <source>Display mode</source>
        <translation>Display mode</translation>
    </message>
    <message>
        <source>Accumulation</source>
        <translation>Accumulation</translation>
    </message>
    <message>
        <source>Time surface</source>
        <translation>Time surface</translation>
    </message>
    <message>
        <source>Time constant</source>
        <translation>Time constant</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Events</translation>
    </message>
    <message>
        <source>ON and OFF</source>
        <translation>ON and OFF</translation>
    </message>
    <message>
        <source>ON only</source>
        <translation>ON only</translation>
    </message>
    <message>
        <source>OFF only</source>
        <translation>OFF only</translation>
    </message>
    <message>
        <source>Colour theme</source>
        <translation>Colour theme</translation>
    </message>
    <message>
        <source>Grey</source>
        <translation>Grey</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>Dark</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>Light</translation>
    </message>
</context>
<context>
    <name>SettingUI</name>
    <message>
        <source>Setting</source>
        <translation>Setting</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>Display</translation>
    </message>
</context>
<context>
    <name>SidebarApsSettingUI</name>
    <message>
        <source>APS Setting</source>
        <translation>APS Setting</translation>
    </message>
    <message>
        <source>APS</source>
        <translation>APS</translation>
    </message>
</context>
<context>
    <name>SidebarCameraSettingUI</name>
    <message>
        <source>Camera Setting</source>
        <translation>Camera Setting</translation>
    </message>
</context>
<context>
    <name>SidebarDvsSettingUI</name>
    <message>
        <source>Biases</source>
        <translation>Biases</translation>
    </message>
    <message>
        <source>Trigger In</source>
        <translation>Trigger In</translation>
    </message>
    <message>
        <source>Anti Flicker</source>
        <translation>Anti Flicker</translation>
    </message>
    <message>
        <source>Event Rate Control</source>
        <translation>Event Rate Control</translation>
    </message>
    <message>
        <source>Event Trail Filter</source>
        <translation>Event Trail Filter</translation>
    </message>
    <message>
        <source>ROI</source>
        <translation>ROI</translation>
    </message>
</context>
<context>
    <name>WaitingWin</name>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Cancelling ...</source>
        <translation>Cancelling ...</translation>
    </message>
</context>
</TS>
