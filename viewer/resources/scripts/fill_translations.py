#!/usr/bin/env python3
"""Fills the viewer's .ts files after `lupdate`: English gets its source texts, Chinese the
texts of ZH below. Run from viewer/: python3 resources/scripts/fill_translations.py
A text missing from ZH stays unfinished, which the translation test reports."""
import html
import re
import sys

ZH = {
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
