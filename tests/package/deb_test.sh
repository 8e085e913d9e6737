#!/usr/bin/env bash
# Builds the .deb with CPack into a temporary folder and inspects it: its
# file list, the run-time dependencies dpkg-shlibdeps found, and the
# desktop metadata. Skipped (77) where Debian's packaging tools are missing.
set -euo pipefail
build=${VX_BUILD_DIR:?}
command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null || { echo "no dpkg-deb/dpkg-shlibdeps"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$tmp" && cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1) \
  || { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$tmp"/out/vxtools_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || { cat "$tmp/cpack.log" >&2; fail "no vxtools_*.deb"; }
echo "built $(basename "$deb")"

dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
[ "$(dpkg-deb -f "$deb" Package)" = vxtools ] || fail "package name"
version=$(dpkg-deb -f "$deb" Version)
[ "$version" = "$(sed -n 's/^project(VXTools VERSION \([0-9.]*\).*/\1/p' "${VX_SOURCE_DIR:?}/CMakeLists.txt")" ] \
  || fail "version $version is not the project version"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt5widgets5 libqt5gui5 libqt5core5a libqwt-qt5-6 libxmlrpc-core-c3 'libxmlrpc-c\+\+8v5' libc6 'libstdc\+\+6'; do
  echo "$depends" | grep -Eq "(^|, )$lib( |,|$)" || fail "Depends lacks $lib: $depends"
done

dpkg-deb -c "$deb" | awk '{print $6, $7, $8}' >"$tmp/files"
for f in ./usr/lib/vxtools/VXTools ./usr/lib/vxtools/vxtools-crashbox ./usr/lib/vxtools/zps-sim \
         ./usr/lib/vxtools/libVX_Prod.so ./usr/lib/vxtools/libVX_Controls.so \
         ./usr/lib/vxtools/plugins/libVXPlugin_Scope.so ./usr/lib/vxtools/plugins/libVXPlugin_Config.so \
         ./usr/lib/vxtools/plugins/libVXPlugin_Script.so ./usr/lib/vxtools/translations/vxtools_zh_CN.qm \
         ./usr/share/applications/org.vxtools.VXTools.desktop ./usr/share/metainfo/org.vxtools.VXTools.metainfo.xml \
         ./usr/share/icons/hicolor/48x48/apps/org.vxtools.VXTools.png ./usr/share/doc/vxtools/README.md; do
  grep -q "^$f\( \|$\)" "$tmp/files" || fail "the package lacks $f"
done
grep -q '^./usr/bin/vxtools -> ../lib/vxtools/VXTools$' "$tmp/files" || fail "no usr/bin/vxtools link"
grep -q '^./usr/bin/zps-sim -> ../lib/vxtools/zps-sim$' "$tmp/files" || fail "no usr/bin/zps-sim link"
# Only what the package owns: nothing under /usr/local, no test programs, no
# writable state.
if grep -Eq '^./usr/local|tests-bin|fixture|debugInfo|VXTools\.ini' "$tmp/files"; then
  fail "unexpected files: $(grep -E '^./usr/local|tests-bin|fixture|debugInfo|VXTools\.ini' "$tmp/files")"
fi

# The payload: binaries stripped of their build run paths, metadata valid.
dpkg-deb -x "$deb" "$tmp/root"
readelf -d "$tmp/root/usr/lib/vxtools/VXTools" | grep -q 'R.*PATH.*\[\$ORIGIN\]' || fail "VXTools run path"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$tmp/root/usr/share/metainfo/org.vxtools.VXTools.metainfo.xml" || fail "metainfo"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$tmp/root/usr/share/applications/org.vxtools.VXTools.desktop" || fail "desktop entry"
fi
grep -q '^Exec=vxtools$' "$tmp/root/usr/share/applications/org.vxtools.VXTools.desktop" || fail "Exec line"
echo "package complete"
