# Screenshot checks shared by the viewer's end-to-end tests; sourced by the scripts that run on the
# virtual display, which set work (a scratch folder), convert and compare (ImageMagick's programs).

# colour_box IMAGE COLOUR [OPEN [ROWS]]: bounding box "W H X Y COUNT" of one exact colour. Opening
# the mask with an OPEN-pixel square (2) drops stray pixels of that colour (anti-aliased text); only
# the top ROWS rows count when given.
colour_box() {
  local mask="$work/mask.png" count box crop=() open=${3:-2}
  [ -n "${4:-}" ] && crop=(-crop "x$4+0+0" +repage)
  if [ "$2" = '#FFFFFF' ]; then
    "$convert" "$1" "${crop[@]}" -alpha off -fill black +opaque white -morphology Open "Square:$open" "$mask"
  else
    "$convert" "$1" "${crop[@]}" -alpha off -fill black -opaque white -fill white -opaque "$2" -fill black +opaque white \
      -morphology Open "Square:$open" "$mask"
  fi
  count=$("$convert" "$mask" -format '%[fx:round(mean*w*h)]' info:)
  if [ "$count" -eq 0 ]; then echo "0 0 0 0 0"; return; fi
  box=$("$convert" "$mask" -format '%@' info:)  # WxH+X+Y, no newline
  echo "${box//[x+]/ } $count"
}

# Pixels of exactly one colour in an image.
colour_count() {
  "$convert" "$1" -alpha off -fill white -opaque "$2" -fill black +opaque white -format '%[fx:round(mean*w*h)]' info:
}

# Pixels near one colour (a view may scale its picture smoothly).
near_count() {
  "$convert" "$1" -alpha off -fuzz 12% -fill white -opaque "$2" -fill black +opaque white \
    -format '%[fx:round(mean*w*h)]' info:
}

# The number of pixels that differ between two images.
differ() {
  "$compare" -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1
}
