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
# The built catalogue holds every translation of the committed .ts: it is
# what lrelease makes of that file (file times say nothing after a checkout).
qm="${VX_BUILD_DIR:?}/bin/translations/vxtools_zh_CN.qm"
[ -s "$qm" ] || { echo "no $qm" >&2; exit 1; }
lrelease=/usr/lib/qt5/bin/lrelease   # the one the build uses
[ -x "$lrelease" ] || lrelease=$(command -v lrelease)
"$lrelease" -silent "$src/translations/vxtools_zh_CN.ts" -qm "$tmp/committed.qm"
cmp -s "$qm" "$tmp/committed.qm" || { echo "$qm is not the catalogue of its .ts: rebuild" >&2; exit 1; }
echo "every text translated"
