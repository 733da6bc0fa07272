<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CamerasList</name>
    <message>
        <source>Cameras</source>
        <translation>相机列表</translation>
    </message>
    <message>
        <source>Open a camera</source>
        <translation>打开相机</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>No camera found.</source>
        <translation>未找到相机。</translation>
    </message>
</context>
<context>
    <name>EventCameraSource</name>
    <message>
        <source>Please connect camera first.</source>
        <translation>请先连接相机。</translation>
    </message>
    <message>
        <source>The camera did not start. Please check the camera connection.</source>
        <translation>相机未能启动，请检查相机连接。</translation>
    </message>
</context>
<context>
    <name>FusionCameraSource</name>
    <message>
        <source>Please connect camera first.</source>
        <translation>请先连接相机。</translation>
    </message>
    <message>
        <source>The camera did not start. Please check the camera connection.</source>
        <translation>相机未能启动，请检查相机连接。</translation>
    </message>
</context>
<context>
    <name>InitDialog</name>
    <message>
        <source>Event camera viewer</source>
        <translation>事件相机查看器</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>版本：</translation>
    </message>
</context>
<context>
    <name>Language</name>
    <message>
        <source>The language change will take effect after restart.</source>
        <translation>语言切换将在重启后生效。</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>重启</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>稍后</translation>
    </message>
</context>
<context>
    <name>MainWidget</name>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Camera: </source>
        <translation>相机：</translation>
    </message>
    <message>
        <source> | Time: </source>
        <translation> | 时间：</translation>
    </message>
    <message>
        <source>Open Camera</source>
        <translation>打开相机</translation>
    </message>
    <message>
        <source>Open Recording</source>
        <translation>打开录制文件</translation>
    </message>
    <message>
        <source>Save as...</source>
        <translation>另存为...</translation>
    </message>
    <message>
        <source>Cut Recording</source>
        <translation>剪切录制文件</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>General Setting</source>
        <translation>常规设置</translation>
    </message>
    <message>
        <source>About us</source>
        <translation>关于我们</translation>
    </message>
    <message>
        <source>Toggle Start/End Point</source>
        <translation>切换起止点</translation>
    </message>
    <message>
        <source> | Rate: </source>
        <translation> | 事件率：</translation>
    </message>
    <message>
        <source>Play/Stop</source>
        <translation>播放/停止</translation>
    </message>
    <message>
        <source>Start/Stop recording</source>
        <translation>开始/停止录制</translation>
    </message>
    <message>
        <source>Previous frame</source>
        <translation>上一帧</translation>
    </message>
    <message>
        <source>Next frame</source>
        <translation>下一帧</translation>
    </message>
    <message>
        <source>Reset the playback progress to the beginning</source>
        <translation>将播放进度重置到开头</translation>
    </message>
    <message>
        <source>Select to automatically replay at the end of the playback</source>
        <translation>选中后播放结束时自动重新播放</translation>
    </message>
    <message>
        <source>Is it open in the browser?</source>
        <translation>是否在浏览器中打开？</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Searching for cameras failed: %1</source>
        <translation>搜索相机失败：%1</translation>
    </message>
    <message>
        <source>Camera not found: %1</source>
        <translation>未找到相机：%1</translation>
    </message>
    <message>
        <source>Open camera: </source>
        <translation>打开相机：</translation>
    </message>
    <message>
        <source>failed.</source>
        <translation>失败。</translation>
    </message>
    <message>
        <source>Select a raw file</source>
        <translation>选择 raw 文件</translation>
    </message>
    <message>
        <source>RAW files (*.raw)</source>
        <translation>RAW 文件 (*.raw)</translation>
    </message>
    <message>
        <source>Not a raw recording: %1</source>
        <translation>不是 raw 录制文件：%1</translation>
    </message>
    <message>
        <source>Opening %1 ...</source>
        <translation>正在打开 %1 ...</translation>
    </message>
    <message>
        <source>it is not an EVT 3.0 recording or its header is malformed</source>
        <translation>它不是 EVT 3.0 录制文件，或文件头格式错误</translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>无法打开 %1：%2</translation>
    </message>
    <message>
        <source>Recording: </source>
        <translation>录制文件：</translation>
    </message>
    <message>
        <source>Please connect camera first.</source>
        <translation>请先连接相机。</translation>
    </message>
    <message>
        <source> | Dropped: %1</source>
        <translation> | 已丢失：%1</translation>
    </message>
    <message>
        <source>The camera dropped %1 of data: the computer did not take it in time.</source>
        <translation>相机丢失了 %1 数据：计算机未能及时接收。</translation>
    </message>
    <message>
        <source>Camera connection lost.</source>
        <translation>相机连接已断开。</translation>
    </message>
    <message>
        <source>Reading the recording failed: %1</source>
        <translation>读取录制文件失败：%1</translation>
    </message>
    <message>
        <source>Please open a raw file first.</source>
        <translation>请先打开 raw 文件。</translation>
    </message>
    <message>
        <source>Cut failed: %1</source>
        <translation>剪切失败：%1</translation>
    </message>
    <message>
        <source>Export failed: %1</source>
        <translation>导出失败：%1</translation>
    </message>
    <message>
        <source>the start time must be before the end time</source>
        <translation>开始时间必须早于结束时间</translation>
    </message>
    <message>
        <source>the time range lies outside the recording</source>
        <translation>时间范围超出录制文件</translation>
    </message>
    <message>
        <source>no file name was given</source>
        <translation>未指定文件名</translation>
    </message>
    <message>
        <source>the folder does not exist: %1</source>
        <translation>文件夹不存在：%1</translation>
    </message>
    <message>
        <source>the folder is not writable: %1</source>
        <translation>文件夹不可写：%1</translation>
    </message>
    <message>
        <source>it would overwrite the open recording</source>
        <translation>这会覆盖当前打开的录制文件</translation>
    </message>
    <message>
        <source>Cutting: %1 %</source>
        <translation>正在剪切：%1 %</translation>
    </message>
    <message>
        <source>Exporting: %1 %</source>
        <translation>正在导出：%1 %</translation>
    </message>
    <message>
        <source>%1 could not be written (see the log for the reason)</source>
        <translation>无法写入 %1（原因见日志）</translation>
    </message>
    <message>
        <source>Export raw file success!</source>
        <translation>导出 raw 文件成功！</translation>
    </message>
    <message>
        <source>Export video success!</source>
        <translation>导出视频成功！</translation>
    </message>
    <message>
        <source>The frames of %1 could not be read; its events open as a plain recording.</source>
        <translation>无法读取 %1 中的图像帧；其事件将作为普通录制文件打开。</translation>
    </message>
    <message>
        <source>Start the camera before recording.</source>
        <translation>请先启动相机再录制。</translation>
    </message>
    <message>
        <source>Playback stopped: %1</source>
        <translation>播放已停止：%1</translation>
    </message>
    <message>
        <source>Open Recent</source>
        <translation>最近打开</translation>
    </message>
    <message>
        <source>No recent recordings</source>
        <translation>没有最近的录制文件</translation>
    </message>
    <message>
        <source> | Pixel: </source>
        <translation> | 像素：</translation>
    </message>
    <message>
        <source>x %1  y %2</source>
        <translation>x %1  y %2</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>已保存 %1</translation>
    </message>
    <message>
        <source>%1 (about %2 s left)</source>
        <translation>%1（约剩 %2 秒）</translation>
    </message>
    <message>
        <source>Cut cancelled; no file was written.</source>
        <translation>剪切已取消，未写入文件。</translation>
    </message>
    <message>
        <source>Export cancelled; no file was written.</source>
        <translation>导出已取消，未写入文件。</translation>
    </message>
    <message>
        <source>the file name must end in one of %1</source>
        <translation>文件名必须以 %1 之一结尾</translation>
    </message>
    <message>
        <source>this recording cannot be exported</source>
        <translation>此录制文件无法导出</translation>
    </message>
    <message>
        <source>Exported %1.</source>
        <translation>已导出 %1。</translation>
    </message>
</context>
<context>
    <name>OvCutRawFile</name>
    <message>
        <source>Cut Recording</source>
        <translation>剪切录制文件</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>剪切</translation>
    </message>
</context>
<context>
    <name>OvExportVideoUI</name>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Raw recording (%1)</source>
        <translation>原始录制文件（%1）</translation>
    </message>
    <message>
        <source>H.264 video (%1)</source>
        <translation>H.264 视频（%1）</translation>
    </message>
    <message>
        <source>CSV events (%1)</source>
        <translation>CSV 事件表（%1）</translation>
    </message>
    <message>
        <source>HDF5 datasets (%1)</source>
        <translation>HDF5 数据集（%1）</translation>
    </message>
    <message>
        <source>Export As</source>
        <translation>导出为</translation>
    </message>
    <message>
        <source> fps</source>
        <translation> 帧/秒</translation>
    </message>
    <message>
        <source>Recording seconds shown per second of video</source>
        <translation>每秒视频显示的录制时长（秒）</translation>
    </message>
    <message>
        <source>The recording time whose events make each frame</source>
        <translation>每帧所累积事件的录制时长</translation>
    </message>
    <message>
        <source>Accumulation</source>
        <translation>累积</translation>
    </message>
    <message>
        <source>Time surface</source>
        <translation>时间表面</translation>
    </message>
    <message>
        <source>Grey</source>
        <translation>灰色</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>深色</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>浅色</translation>
    </message>
    <message>
        <source>Time surface: how long a pixel takes to fade</source>
        <translation>时间表面：像素褪色所需的时间</translation>
    </message>
    <message>
        <source>Frame Rate</source>
        <translation>帧率</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>模式</translation>
    </message>
    <message>
        <source>Theme</source>
        <translation>配色</translation>
    </message>
    <message>
        <source>Time Constant</source>
        <translation>时间常数</translation>
    </message>
    <message>
        <source>The file name must end in one of %1.</source>
        <translation>文件名必须以 %1 之一结尾。</translation>
    </message>
    <message>
        <source>Time of one frame</source>
        <translation>一帧的时长</translation>
    </message>
</context>
<context>
    <name>OvFilePathReminderForm</name>
    <message>
        <source>Open Dir</source>
        <translation>打开目录</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>The folder could not be opened (no file manager?): %1</source>
        <translation>无法打开文件夹（没有文件管理器？）：%1</translation>
    </message>
</context>
<context>
    <name>OvGeneralSetting</name>
    <message>
        <source>General Settings</source>
        <translation>常规设置</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>File Settings</source>
        <translation>文件设置</translation>
    </message>
    <message>
        <source>Default Out Raw File Path</source>
        <translation>默认录制文件保存路径</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>选择目录</translation>
    </message>
    <message>
        <source>Default Video File Path</source>
        <translation>默认视频保存路径</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
</context>
<context>
    <name>OvTimeRangeDialog</name>
    <message>
        <source>The output is a folder. Enter a file name.</source>
        <translation>输出路径是一个文件夹，请输入文件名。</translation>
    </message>
    <message>
        <source>The output would overwrite the open recording. Choose another file name.</source>
        <translation>输出会覆盖当前打开的录制文件，请换一个文件名。</translation>
    </message>
    <message>
        <source>The output would overwrite the index of the open recording. Choose another file name.</source>
        <translation>输出会覆盖当前录制文件的索引，请换一个文件名。</translation>
    </message>
    <message>
        <source>The output would overwrite the video of the open recording. Choose another file name.</source>
        <translation>输出会覆盖当前录制文件的视频，请换一个文件名。</translation>
    </message>
    <message>
        <source>Times are whole microseconds.</source>
        <translation>时间须为整数微秒。</translation>
    </message>
    <message>
        <source>The start time must be before the end time.</source>
        <translation>开始时间必须早于结束时间。</translation>
    </message>
    <message>
        <source>Choose a folder and a file name.</source>
        <translation>请选择文件夹并填写文件名。</translation>
    </message>
    <message>
        <source>Tips</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>替换</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>选择目录</translation>
    </message>
    <message>
        <source>The file “%1” already exists. Replace it?</source>
        <translation>文件“%1”已存在，是否替换？</translation>
    </message>
</context>
<context>
    <name>OvTimeRangeForm</name>
    <message>
        <source>Start Time</source>
        <translation>开始时间</translation>
    </message>
    <message>
        <source>Step: 1 ms</source>
        <translation>步长：1 毫秒</translation>
    </message>
    <message>
        <source>End Time</source>
        <translation>结束时间</translation>
    </message>
    <message>
        <source>Save File Path</source>
        <translation>保存路径</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>选择目录</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>文件名</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>PlaybackEngine</name>
    <message>
        <source>Playback stopped: %1</source>
        <translation>播放已停止：%1</translation>
    </message>
</context>
<context>
    <name>RecordingControl</name>
    <message>
        <source>A recording is already running.</source>
        <translation>录制已在进行中。</translation>
    </message>
    <message>
        <source>The recording folder does not exist: %1</source>
        <translation>录制文件夹不存在：%1</translation>
    </message>
    <message>
        <source>The recording folder is not writable: %1</source>
        <translation>录制文件夹不可写：%1</translation>
    </message>
    <message>
        <source>Recording could not start: %1</source>
        <translation>无法开始录制：%1</translation>
    </message>
    <message>
        <source>No recording is running.</source>
        <translation>当前没有进行录制。</translation>
    </message>
    <message>
        <source>The recording could not be saved: %1</source>
        <translation>录制文件无法保存：%1</translation>
    </message>
    <message>
        <source>The recording could not be saved completely: %1</source>
        <translation>录制文件未能完整保存：%1</translation>
    </message>
</context>
<context>
    <name>RecordingSource</name>
    <message>
        <source>Please load file first.</source>
        <translation>请先加载文件。</translation>
    </message>
</context>
<context>
    <name>SettingBaseWithLineEdit</name>
    <message>
        <source>Range: %1 to %2</source>
        <translation>范围：%1 至 %2</translation>
    </message>
    <message>
        <source>%1 is outside %2 to %3: set to %4</source>
        <translation>%1 超出 %2 至 %3：已设为 %4</translation>
    </message>
</context>
<context>
    <name>SettingDisplayItem</name>
    <message>
        <source>Accumulation time</source>
        <translation>累积时间</translation>
    </message>
    <message>
        <source>Slow Rate</source>
        <translation>播放速率</translation>
    </message>
    <message>
        <source>Display mode</source>
        <translation>显示模式</translation>
    </message>
    <message>
        <source>Accumulation</source>
        <translation>累积</translation>
    </message>
    <message>
        <source>Time surface</source>
        <translation>时间表面</translation>
    </message>
    <message>
        <source>Time constant</source>
        <translation>时间常数</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>事件</translation>
    </message>
    <message>
        <source>ON and OFF</source>
        <translation>ON 和 OFF</translation>
    </message>
    <message>
        <source>ON only</source>
        <translation>仅 ON</translation>
    </message>
    <message>
        <source>OFF only</source>
        <translation>仅 OFF</translation>
    </message>
    <message>
        <source>Colour theme</source>
        <translation>配色主题</translation>
    </message>
    <message>
        <source>Grey</source>
        <translation>灰色</translation>
    </message>
    <message>
        <source>Dark</source>
        <translation>深色</translation>
    </message>
    <message>
        <source>Light</source>
        <translation>浅色</translation>
    </message>
</context>
<context>
    <name>SettingUI</name>
    <message>
        <source>Setting</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>显示</translation>
    </message>
</context>
<context>
    <name>SidebarApsSettingUI</name>
    <message>
        <source>APS Setting</source>
        <translation>APS 设置</translation>
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
        <translation>相机设置</translation>
    </message>
</context>
<context>
    <name>SidebarDvsSettingUI</name>
    <message>
        <source>Biases</source>
        <translation>偏置</translation>
    </message>
    <message>
        <source>Trigger In</source>
        <translation>触发输入</translation>
    </message>
    <message>
        <source>Anti Flicker</source>
        <translation>抗闪烁</translation>
    </message>
    <message>
        <source>Event Rate Control</source>
        <translation>事件率控制</translation>
    </message>
    <message>
        <source>Event Trail Filter</source>
        <translation>事件拖尾滤波</translation>
    </message>
    <message>
        <source>ROI</source>
        <translation>感兴趣区域 (ROI)</translation>
    </message>
</context>
<context>
    <name>WaitingWin</name>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Cancelling ...</source>
        <translation>正在取消 ...</translation>
    </message>
</context>
</TS>
