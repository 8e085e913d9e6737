#!/usr/bin/env bash
# Every translatable text of the sources has a finished Simplified Chinese
# translation: re-reading the sources into a copy of the .ts file must add
# nothing and leave nothing unfinished.
set -euo pipefail
src=${VX_SOURCE_DIR:?}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
lupdate=$(command -v lupdate || echo /usr/lib/qt5/bin/lupdate)
cp "$src/translations/vxtools_zh_CN.ts" "$tmp/"
(cd "$src" && "$lupdate" -no-obsolete -locations none shell controls plugins/config plugins/script plugins/scope \
   -ts "$tmp/vxtools_zh_CN.ts") >"$tmp/lupdate.log" 2>&1
cat "$tmp/lupdate.log"
if grep -q 'type="unfinished"' "$tmp/vxtools_zh_CN.ts"; then
  echo "Texts without a translation (run the vx_update_translations target, then translate them):" >&2
  grep -B2 'type="unfinished"' "$tmp/vxtools_zh_CN.ts" | grep '<source>' >&2
  exit 1
fi
# The built catalogue is the one of the committed sources.
qm="${VX_BUILD_DIR:?}/bin/translations/vxtools_zh_CN.qm"
[ -s "$qm" ] || { echo "no $qm" >&2; exit 1; }
[ "$qm" -nt "$src/translations/vxtools_zh_CN.ts" ] || { echo "$qm is older than its .ts" >&2; exit 1; }
echo "every text translated"
