#!/usr/bin/env bash
# Builds the .deb and its debug-symbols package with CPack into a temporary
# folder and inspects them: the file lists, the run-time dependencies
# dpkg-shlibdeps found, the desktop metadata, the split debug symbols, and
# what lintian says (no errors). Skipped (77) where Debian's packaging tools
# are missing. (After a pipe, grep reads to the end: grep -q stops early, and
# the writer's broken pipe would fail the pipeline under pipefail.)
set -euo pipefail
build=${VX_BUILD_DIR:?}
for tool in dpkg-deb dpkg-shlibdeps lintian; do
  command -v $tool >/dev/null || { echo "no $tool (scripts/deps.sh installs it)"; exit 77; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$tmp" && cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1) \
  || { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$tmp"/out/vxtools_*.deb 2>/dev/null | head -n1 || true)
[ -n "$deb" ] || { cat "$tmp/cpack.log" >&2; fail "no vxtools_*.deb"; }
ddeb=$(ls "$tmp"/out/vxtools-dbgsym_*.ddeb 2>/dev/null | head -n1 || true)
[ -n "$ddeb" ] || { ls "$tmp/out" >&2; fail "no vxtools-dbgsym_*.ddeb"; }
echo "built $(basename "$deb") $(basename "$ddeb")"

dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
[ "$(dpkg-deb -f "$deb" Package)" = vxtools ] || fail "package name"
version=$(dpkg-deb -f "$deb" Version)
[ "$version" = "$(sed -n 's/^project(VXTools VERSION \([0-9.]*\).*/\1/p' "${VX_SOURCE_DIR:?}/CMakeLists.txt")" ] \
  || fail "version $version is not the project version"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt5widgets5 libqt5gui5 libqt5core5a libqwt-qt5-6 libkissfft-float131 libmuparser2v5 libxmlrpc-core-c3 'libxmlrpc-c\+\+8v5' libc6 'libstdc\+\+6'; do
  echo "$depends" | grep -Eq "(^|, )$lib( |,|$)" || fail "Depends lacks $lib: $depends"
done

dpkg-deb -c "$deb" | awk '{print $6, $7, $8}' >"$tmp/files"
for f in ./usr/lib/vxtools/VXTools ./usr/lib/vxtools/vxtools-crashbox ./usr/lib/vxtools/zps-sim \
         ./usr/lib/vxtools/libVX_Prod.so ./usr/lib/vxtools/libVX_Controls.so \
         ./usr/lib/vxtools/plugins/libVXPlugin_Scope.so ./usr/lib/vxtools/plugins/libVXPlugin_Config.so \
         ./usr/lib/vxtools/plugins/libVXPlugin_Script.so ./usr/lib/vxtools/translations/vxtools_zh_CN.qm \
         ./usr/share/applications/org.vxtools.VXTools.desktop ./usr/share/metainfo/org.vxtools.VXTools.metainfo.xml \
         ./usr/share/icons/hicolor/48x48/apps/org.vxtools.VXTools.png ./usr/share/doc/vxtools/README.md \
         ./usr/share/doc/vxtools/copyright ./usr/share/doc/vxtools/changelog.gz ./usr/lib/vxtools/vxscope-capture \
         ./usr/share/man/man1/vxtools.1.gz ./usr/share/man/man1/zps-sim.1.gz ./usr/share/man/man1/vxscope-capture.1.gz; do
  grep -q "^$f\( \|$\)" "$tmp/files" || fail "the package lacks $f"
done
grep -q '^./usr/bin/vxtools -> ../lib/vxtools/VXTools$' "$tmp/files" || fail "no usr/bin/vxtools link"
grep -q '^./usr/bin/zps-sim -> ../lib/vxtools/zps-sim$' "$tmp/files" || fail "no usr/bin/zps-sim link"
grep -q '^./usr/bin/vxscope-capture -> ../lib/vxtools/vxscope-capture$' "$tmp/files" || fail "no usr/bin/vxscope-capture link"
# No maintainer scripts: the private libraries need no ldconfig, and a
# postrm would keep the package listed as "rc" after removal.
dpkg-deb --ctrl-tarfile "$deb" | tar -t >"$tmp/control"
if grep -Eq '(^|/)(preinst|postinst|prerm|postrm|triggers)$' "$tmp/control"; then
  fail "maintainer scripts: $(tr '\n' ' ' <"$tmp/control")"
fi
# Only what the package owns: nothing under /usr/local, no test programs, no
# writable state.
if grep -Eq '^./usr/local|tests-bin|fixture|debugInfo|VXTools\.ini' "$tmp/files"; then
  fail "unexpected files: $(grep -E '^./usr/local|tests-bin|fixture|debugInfo|VXTools\.ini' "$tmp/files")"
fi

# The payload: binaries stripped of their build run paths, metadata valid.
dpkg-deb -x "$deb" "$tmp/root"
readelf -d "$tmp/root/usr/lib/vxtools/VXTools" | grep 'R.*PATH.*\[\$ORIGIN\]' >/dev/null || fail "VXTools run path"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$tmp/root/usr/share/metainfo/org.vxtools.VXTools.metainfo.xml" || fail "metainfo"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$tmp/root/usr/share/applications/org.vxtools.VXTools.desktop" || fail "desktop entry"
fi
grep -q '^Exec=vxtools$' "$tmp/root/usr/share/applications/org.vxtools.VXTools.desktop" || fail "Exec line"
# The manual pages are built from the programs' own --help.
zcat "$tmp/root/usr/share/man/man1/zps-sim.1.gz" | grep -F -- '\-\-address' >/dev/null || fail "zps-sim.1 lacks --address"
zcat "$tmp/root/usr/share/man/man1/vxscope-capture.1.gz" | grep -F -- '\-\-list\-channels' >/dev/null || fail "vxscope-capture.1 lacks --list-channels"

# Debug symbols: every binary of the package is stripped, and the dbgsym
# package holds its debug part under the binary's build id.
[ "$(dpkg-deb -f "$ddeb" Package)" = vxtools-dbgsym ] || fail "debug package name"
[ "$(dpkg-deb -f "$ddeb" Depends)" = "vxtools (= $version)" ] || fail "vxtools-dbgsym depends on $(dpkg-deb -f "$ddeb" Depends)"
dpkg-deb -x "$ddeb" "$tmp/dbg"
(cd "$tmp/dbg" && dpkg-deb -I "$ddeb" md5sums | md5sum --quiet -c) || fail "vxtools-dbgsym md5sums"
[ "$(readlink "$tmp/dbg/usr/share/doc/vxtools-dbgsym")" = vxtools ] || fail "no usr/share/doc/vxtools-dbgsym link"
for f in VXTools vxtools-crashbox zps-sim vxscope-capture libVX_Prod.so libVX_Controls.so plugins/libVXPlugin_Scope.so; do
  elf="$tmp/root/usr/lib/vxtools/$f"
  if readelf -S "$elf" | grep '\.debug_info' >/dev/null; then fail "$f is not stripped"; fi
  id=$(readelf -n "$elf" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
  [ -n "$id" ] || fail "$f has no build id"
  debug="$tmp/dbg/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
  readelf -S "$debug" 2>/dev/null | grep '\.debug_info' >/dev/null || fail "no debug symbols of $f at ${debug#$tmp/dbg}"
done

# lintian: no errors in either package (warnings are printed, not fatal).
lintian --fail-on error "$deb" "$ddeb" | tee "$tmp/lintian.log" \
  || fail "lintian reports errors"
echo "package complete"
