#!/usr/bin/env bash
# Every user-visible text of the viewer has a Chinese translation: lupdate is run over the
# sources into copies of the committed .ts files, and nothing may come out unfinished.
#   test_viewer_translations.sh BIN_DIR DATA_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
viewer="$root/viewer"
LUPDATE=/usr/lib/qt6/bin/lupdate
[ -x "$LUPDATE" ] || LUPDATE=$(command -v lupdate || true)
if [ -z "$LUPDATE" ]; then
  echo "SKIP: lupdate not installed (package qt6-tools-dev-tools)"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$viewer/resources/translations/app_zh.ts" "$viewer/resources/translations/app_en.ts" "$work/"
# Only the folders that hold sources yet (git keeps no empty folder).
dirs=$(for d in app mainwindow display settings dialogs widgets frameless; do [ -d "$viewer/$d" ] && echo "$d"; done)
(cd "$viewer" && "$LUPDATE" -silent -locations none -no-obsolete $dirs \
  -ts "$work/app_zh.ts" "$work/app_en.ts")
status=0
for ts in app_zh.ts app_en.ts; do
  n=$(grep -c '<source>' "$work/$ts" || true)
  if grep -q 'type="unfinished"' "$work/$ts"; then
    echo "FAIL: $ts lacks translations for:"
    grep -B2 'type="unfinished"' "$work/$ts" | grep '<source>' | sed 's/^ */  /'
    status=1
  else
    echo "$ts: all $n texts translated"
  fi
  if ! diff -q "$work/$ts" "$viewer/resources/translations/$ts" >/dev/null; then
    echo "FAIL: $ts is not in step with the sources: run the viewer_lupdate target, then"
    echo "      python3 resources/scripts/fill_translations.py in viewer/"
    status=1
  fi
done
exit $status
