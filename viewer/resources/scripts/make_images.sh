#!/usr/bin/env bash
# Draws the viewer's raster images: the waiting animation and the logo marks.
#   make_images.sh CONVERT OUT_DIR
# The logo is the mark of the SVG icons: a navy rounded square with a white ring (the sensor's eye)
# and a small event dot. The animation is twelve dots on a circle, one bright navy dot running
# round with a fading tail of greys, on a transparent background.
set -euo pipefail
CONVERT=$1
OUT=$2
mkdir -p "$OUT/img/icon" "$OUT/img/assets"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

logo() {  # logo SIZE FILE
  local s=$1 f=$2
  local r=$((s * 18 / 100)) c=$((s / 2)) ring=$((s * 29 / 100)) w=$((s / 11 > 1 ? s / 11 : 1))
  local dot=$((s * 9 / 100))
  "$CONVERT" -size "${s}x${s}" xc:none \
    -fill '#004B6A' -draw "roundrectangle 0,0 $((s - 1)),$((s - 1)) $r,$r" \
    -fill none -stroke white -strokewidth "$w" -draw "circle $c,$c $((c + ring)),$c" \
    -stroke none -fill '#7FC4DE' -draw "circle $c,$c $((c + dot)),$c" \
    -fill white -draw "circle $((c + ring * 7 / 10)),$((c - ring * 7 / 10)) $((c + ring * 7 / 10 + dot * 2 / 3)),$((c - ring * 7 / 10))" \
    "PNG32:$f"
}
logo 64 "$OUT/img/assets/Orvane_logo_navigate.png"
logo 128 "$OUT/img/assets/Orvane_logo_splash.png"

# Waiting animation: 12 frames of 144 x 144.
n=12 size=144 c=72 R=52 d=9
shades=('#004B6A' '#336F88' '#6693A6' '#8FA9B5' '#A7A7A7' '#B8B8B8' '#C6C6C6' '#D2D2D2'
        '#D2D2D2' '#D2D2D2' '#D2D2D2' '#D2D2D2')
frames=()
for ((i = 0; i < n; i++)); do
  draw=()
  for ((j = 0; j < n; j++)); do
    # Dot j sits at angle j * 30 degrees; the bright one is dot i, its tail runs backwards.
    k=$(((i - j + n) % n))
    read -r x y < <(awk -v j="$j" -v n="$n" -v c="$c" -v R="$R" \
      'BEGIN { a = 2 * 3.14159265358979 * j / n; printf "%d %d\n", c + R * sin(a), c - R * cos(a) }')
    r=$((d - k / 2))
    draw+=(-fill "${shades[$k]}" -draw "circle $x,$y $((x + r)),$y")
  done
  "$CONVERT" -size "${size}x${size}" xc:none "${draw[@]}" "PNG32:$tmp/f$i.png"
  frames+=("$tmp/f$i.png")
done
"$CONVERT" -dispose Background -delay 8 -loop 0 "${frames[@]}" "$OUT/img/icon/waiting.gif"
