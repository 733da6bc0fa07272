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
