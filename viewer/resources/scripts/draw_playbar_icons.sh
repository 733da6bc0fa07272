#!/usr/bin/env bash
# Writes the play-bar and side-bar icons (24 x 24 SVG) in their three states: normal (#004B6A),
# _hover (#2A7FA3) and _disable (#A7A7A7). The output is committed; rerun after changing a shape.
#   draw_playbar_icons.sh OUT_DIR
set -euo pipefail
OUT=${1:-$(dirname "$0")/../img/assets}

shape() {  # shape NAME COLOUR -> SVG body
  local c=$2
  case $1 in
  btn_playbar_play) echo "<path d=\"M8 5.5 L18.5 12 L8 18.5 Z\" fill=\"$c\" stroke=\"$c\" stroke-width=\"1.2\" stroke-linejoin=\"round\"/>" ;;
  btn_playbar_pause) echo "<rect x=\"7\" y=\"5.5\" width=\"3.4\" height=\"13\" rx=\"1\" fill=\"$c\"/><rect x=\"13.6\" y=\"5.5\" width=\"3.4\" height=\"13\" rx=\"1\" fill=\"$c\"/>" ;;
  btn_playbar_stop) echo "<rect x=\"6.5\" y=\"6.5\" width=\"11\" height=\"11\" rx=\"1.5\" fill=\"$c\"/>" ;;
  btn_playbar_prev) echo "<rect x=\"5.5\" y=\"6\" width=\"2.4\" height=\"12\" rx=\"1\" fill=\"$c\"/><path d=\"M18.5 6.5 L10 12 L18.5 17.5 Z\" fill=\"$c\" stroke=\"$c\" stroke-width=\"1\" stroke-linejoin=\"round\"/>" ;;
  btn_playbar_next) echo "<rect x=\"16.1\" y=\"6\" width=\"2.4\" height=\"12\" rx=\"1\" fill=\"$c\"/><path d=\"M5.5 6.5 L14 12 L5.5 17.5 Z\" fill=\"$c\" stroke=\"$c\" stroke-width=\"1\" stroke-linejoin=\"round\"/>" ;;
  btn_playbar_loop) echo "<path d=\"M6 11 A6 5 0 0 1 12 6.5 L17 6.5 M14.5 4 L17 6.5 L14.5 9 M18 13 A6 5 0 0 1 12 17.5 L7 17.5 M9.5 15 L7 17.5 L9.5 20\" fill=\"none\" stroke=\"$c\" stroke-width=\"1.6\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>" ;;
  btn_playbar_record) echo "<circle cx=\"12\" cy=\"12\" r=\"7.5\" fill=\"none\" stroke=\"$c\" stroke-width=\"1.6\"/><circle cx=\"12\" cy=\"12\" r=\"4\" fill=\"$c\"/>" ;;
  btn_playbar_recording) echo "<circle cx=\"12\" cy=\"12\" r=\"7.5\" fill=\"none\" stroke=\"$c\" stroke-width=\"1.6\"/><circle cx=\"12\" cy=\"12\" r=\"4\" fill=\"#FF6058\"/>" ;;
  btn_playbar_setting) echo "<path d=\"M5 8 L19 8 M5 16 L19 16\" stroke=\"$c\" stroke-width=\"1.6\" stroke-linecap=\"round\"/><circle cx=\"9\" cy=\"8\" r=\"2.2\" fill=\"#FFFFFF\" stroke=\"$c\" stroke-width=\"1.6\"/><circle cx=\"15\" cy=\"16\" r=\"2.2\" fill=\"#FFFFFF\" stroke=\"$c\" stroke-width=\"1.6\"/>" ;;
  btn_sidebar_camera_setting) echo "<rect x=\"3\" y=\"7\" width=\"13\" height=\"10\" rx=\"2\" fill=\"none\" stroke=\"$c\" stroke-width=\"1.6\"/><path d=\"M16 10.5 L21 8 L21 16 L16 13.5 Z\" fill=\"none\" stroke=\"$c\" stroke-width=\"1.6\" stroke-linejoin=\"round\"/>" ;;
  btn_sidebar_dvs_setting) echo "<circle cx=\"12\" cy=\"12\" r=\"8\" fill=\"none\" stroke=\"$c\" stroke-width=\"1.6\"/><circle cx=\"9\" cy=\"10\" r=\"1.4\" fill=\"$c\"/><circle cx=\"14.5\" cy=\"9\" r=\"1.4\" fill=\"$c\"/><circle cx=\"12.5\" cy=\"14.5\" r=\"1.4\" fill=\"$c\"/>" ;;
  btn_sidebar_aps_setting) echo "<rect x=\"4\" y=\"5.5\" width=\"16\" height=\"13\" rx=\"2\" fill=\"none\" stroke=\"$c\" stroke-width=\"1.6\"/><path d=\"M6.5 16 L10.5 11.5 L13.5 14.5 L15.5 12.5 L18 16 Z\" fill=\"$c\"/>" ;;
  btn_sidebar_general_setting) echo "<circle cx=\"12\" cy=\"12\" r=\"3\" fill=\"none\" stroke=\"$c\" stroke-width=\"1.6\"/><path d=\"M12 3.5 L12 6 M12 18 L12 20.5 M3.5 12 L6 12 M18 12 L20.5 12 M6 6 L7.8 7.8 M16.2 16.2 L18 18 M6 18 L7.8 16.2 M16.2 7.8 L18 6\" stroke=\"$c\" stroke-width=\"1.6\" stroke-linecap=\"round\"/>" ;;
  esac
}

names=(btn_playbar_play btn_playbar_pause btn_playbar_stop btn_playbar_prev btn_playbar_next btn_playbar_loop
       btn_playbar_record btn_playbar_recording btn_playbar_setting btn_sidebar_camera_setting
       btn_sidebar_dvs_setting btn_sidebar_aps_setting btn_sidebar_general_setting)
for n in "${names[@]}"; do
  for state in ":#004B6A" "_hover:#2A7FA3" "_disable:#A7A7A7"; do
    suffix=${state%%:*} colour=${state##*:}
    printf '<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24">\n  %s\n</svg>\n' \
      "$(shape "$n" "$colour")" > "$OUT/$n$suffix.svg"
  done
done
