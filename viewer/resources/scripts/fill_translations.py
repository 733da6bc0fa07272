#!/usr/bin/env python3
"""Fills the viewer's .ts files after `lupdate`: English gets its source texts, Chinese the
texts of ZH below. Run from viewer/: python3 resources/scripts/fill_translations.py
A text missing from ZH stays unfinished, which the translation test reports."""
import html
import re
import sys

ZH = {
    "Please load file first.": "请先加载文件。",
    "Saved %1": "已保存 %1",
    "%1 (about %2 s left)": "%1（约剩 %2 秒）",
    "Cut cancelled; no file was written.": "剪切已取消，未写入文件。",
    "Export cancelled; no file was written.": "导出已取消，未写入文件。",
    "Cancelling ...": "正在取消 ...",
    "Range: %1 to %2": "范围：%1 至 %2",
    "%1 is outside %2 to %3: set to %4": "%1 超出 %2 至 %3：已设为 %4",
    "The folder could not be opened (no file manager?): %1": "无法打开文件夹（没有文件管理器？）：%1",
    "Display mode": "显示模式",
    "Accumulation": "累积",
    "Time surface": "时间表面",
    "Time constant": "时间常数",
    "Events": "事件",
    "ON and OFF": "ON 和 OFF",
    "ON only": "仅 ON",
    "OFF only": "仅 OFF",
    "Colour theme": "配色主题",
    "Grey": "灰色",
    "Dark": "深色",
    "Light": "浅色",
    "Open Recent": "最近打开",
    "No recent recordings": "没有最近的录制文件",
    "x %1  y %2": "x %1  y %2",
    " | Pixel: ": " | 像素：",
    "Event camera viewer": "事件相机查看器",
    "Version: ": "版本：",
    "The language change will take effect after restart.": "语言切换将在重启后生效。",
    "Tips": "提示",
    "Restart": "重启",
    "Later": "稍后",
    "Device": "设备",
    "File": "文件",
    "Setting": "设置",
    "Help": "帮助",
    "Camera: ": "相机：",
    " | Time: ": " | 时间：",
    "Open Camera": "打开相机",
    "Open Recording": "打开录制文件",
    "Save as...": "另存为...",
    "Cut Recording": "剪切录制文件",
    "Quit": "退出",
    "General Setting": "常规设置",
    "About us": "关于我们",
    "Toggle Start/End Point": "切换起止点",
    "Open Dir": "打开目录",
    "Success": "成功",
    "Warning": "警告",
    "Error": "错误",
    "Start Time": "开始时间",
    "End Time": "结束时间",
    "Step: 1 ms": "步长：1 毫秒",
    "Save File Path": "保存路径",
    "Select Directory": "选择目录",
    "File Name": "文件名",
    "Cancel": "取消",
    "Cut": "剪切",
    "Export a video": "导出视频",
    "Export": "导出",
    "The output is a folder. Enter a file name.": "输出路径是一个文件夹，请输入文件名。",
    "The output would overwrite the open recording. Choose another file name.": "输出会覆盖当前打开的录制文件，请换一个文件名。",
    "The output would overwrite the index of the open recording. Choose another file name.": "输出会覆盖当前录制文件的索引，请换一个文件名。",
    "The output would overwrite the video of the open recording. Choose another file name.": "输出会覆盖当前录制文件的视频，请换一个文件名。",
    "Times are whole microseconds.": "时间须为整数微秒。",
    "The start time must be before the end time.": "开始时间必须早于结束时间。",
    "Choose a folder and a file name.": "请选择文件夹并填写文件名。",
    "The file “%1” already exists. Replace it?": "文件“%1”已存在，是否替换？",
    "Replace": "替换",
    "General Settings": "常规设置",
    "File Settings": "文件设置",
    "Default Out Raw File Path": "默认录制文件保存路径",
    "Default Video File Path": "默认视频保存路径",
    "Save": "保存",
    "Cameras": "相机列表",
    "Open a camera": "打开相机",
    "No camera found.": "未找到相机。",
    "Close": "关闭",
    "Open": "打开",
    "Accumulation time": "累积时间",
    "Slow Rate": "播放速率",
    "Display": "显示",
    "APS Setting": "APS 设置",
    "APS": "APS",
    "Camera Setting": "相机设置",
    "Biases": "偏置",
    "Trigger In": "触发输入",
    "Anti Flicker": "抗闪烁",
    "Event Rate Control": "事件率控制",
    "Event Trail Filter": "事件拖尾滤波",
    "ROI": "感兴趣区域 (ROI)",
    " | Rate: ": " | 事件率：",
    "Play/Stop": "播放/停止",
    "Start/Stop recording": "开始/停止录制",
    "Previous frame": "上一帧",
    "Next frame": "下一帧",
    "Reset the playback progress to the beginning": "将播放进度重置到开头",
    "Select to automatically replay at the end of the playback": "选中后播放结束时自动重新播放",
    "Is it open in the browser?": "是否在浏览器中打开？",
    "Searching for cameras failed: %1": "搜索相机失败：%1",
    "Camera not found: %1": "未找到相机：%1",
    "Open camera: ": "打开相机：",
    "failed.": "失败。",
    "Select a raw file": "选择 raw 文件",
    "RAW files (*.raw)": "RAW 文件 (*.raw)",
    "Not a raw recording: %1": "不是 raw 录制文件：%1",
    "the file cannot be read": "文件无法读取",
    "Opening %1 ...": "正在打开 %1 ...",
    "it is not an EVT 3.0 recording or its header is malformed": "它不是 EVT 3.0 录制文件，或文件头格式错误",
    "malformed header (%1)": "文件头格式错误（%1）",
    "Cannot open %1: %2": "无法打开 %1：%2",
    "Recording: ": "录制文件：",
    "The frames of %1 could not be read; its events open as a plain recording.": "无法读取 %1 中的图像帧；其事件将作为普通录制文件打开。",
    "Please connect camera first.": "请先连接相机。",
    "The camera did not start. Please check the camera connection.": "相机未能启动，请检查相机连接。",
    " | Dropped: %1": " | 已丢失：%1",
    "The camera dropped %1 of data: the computer did not take it in time.": "相机丢失了 %1 数据：计算机未能及时接收。",
    "Camera connection lost.": "相机连接已断开。",
    "Reading the recording failed: %1": "读取录制文件失败：%1",
    "Please open a raw file first.": "请先打开 raw 文件。",
    "Cut failed: %1": "剪切失败：%1",
    "Export failed: %1": "导出失败：%1",
    "the start time must be before the end time": "开始时间必须早于结束时间",
    "the time range lies outside the recording": "时间范围超出录制文件",
    "no file name was given": "未指定文件名",
    "the folder does not exist: %1": "文件夹不存在：%1",
    "the folder is not writable: %1": "文件夹不可写：%1",
    "it would overwrite the open recording": "这会覆盖当前打开的录制文件",
    "Cutting: %1 %": "正在剪切：%1 %",
    "Exporting: %1 %": "正在导出：%1 %",
    "%1 could not be written (see the log for the reason)": "无法写入 %1（原因见日志）",
    "Export raw file success!": "导出 raw 文件成功！",
    "Export video success!": "导出视频成功！",
    "Playback stopped: %1": "播放已停止：%1",
    "A recording is already running.": "录制已在进行中。",
    "The recording folder does not exist: %1": "录制文件夹不存在：%1",
    "The recording folder is not writable: %1": "录制文件夹不可写：%1",
    "Recording could not start: %1": "无法开始录制：%1",
    "No recording is running.": "当前没有进行录制。",
    "The recording could not be saved: %1": "录制文件无法保存：%1",
    "The recording could not be saved completely: %1": "录制文件未能完整保存：%1",
    "Start the camera before recording.": "请先启动相机再录制。",
}

MESSAGE = re.compile(r"(<message>\s*<source>)(.*?)(</source>\s*)<translation[^>]*?(?:/>|>.*?</translation>)", re.S)


def fill(path, lookup):
    text = open(path, encoding="utf-8").read()
    missing = []

    def repl(m):
        source = html.unescape(m.group(2))
        target = lookup(source)
        if target is None:
            missing.append(source)
            return m.group(1) + m.group(2) + m.group(3) + '<translation type="unfinished"></translation>'
        return m.group(1) + m.group(2) + m.group(3) + "<translation>" + html.escape(target, quote=False) + "</translation>"

    text = MESSAGE.sub(repl, text)
    open(path, "w", encoding="utf-8").write(text)
    return missing


fill("resources/translations/app_en.ts", lambda s: s)
missing = fill("resources/translations/app_zh.ts", ZH.get)
for s in missing:
    print("untranslated:", s, file=sys.stderr)
sys.exit(1 if missing else 0)
