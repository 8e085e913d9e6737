#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed program
# from there: the tree must be complete and find its parts by itself.
set -euo pipefail
build=${VX_BUILD_DIR:?}
tmp=$(mktemp -d)
vx_pid=""
cleanup() {
  if [ -n "$vx_pid" ]; then kill "$vx_pid" 2>/dev/null || true; wait "$vx_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$tmp/prefix"
cmake --install "$build" --prefix "$prefix" --component vxtools >"$tmp/install.log"
app="$prefix/${VX_INSTALL_DIR:-lib/vxtools}"

# The tree, as the package lays it out.
for f in VXTools vxtools-crashbox zps-sim vxscope-capture libVX_Prod.so libVX_Controls.so \
         plugins/libVXPlugin_Scope.so plugins/libVXPlugin_Config.so plugins/libVXPlugin_Script.so \
         translations/vxtools_zh_CN.qm; do
  [ -f "$app/$f" ] || fail "missing $app/$f"
done
for f in share/applications/org.vxtools.VXTools.desktop share/metainfo/org.vxtools.VXTools.metainfo.xml \
         share/icons/hicolor/16x16/apps/org.vxtools.VXTools.png share/icons/hicolor/256x256/apps/org.vxtools.VXTools.png \
         share/man/man1/vxtools.1.gz share/man/man1/zps-sim.1.gz share/man/man1/vxscope-capture.1.gz; do
  [ -f "$prefix/$f" ] || fail "missing $prefix/$f"
done
for link in vxtools:VXTools zps-sim:zps-sim vxscope-capture:vxscope-capture; do
  name=${link%%:*}; program=${link##*:}
  [ -L "$prefix/bin/$name" ] || fail "bin/$name is not a link"
  [ "$(readlink -f "$prefix/bin/$name")" = "$(readlink -f "$app/$program")" ] || fail "bin/$name points elsewhere"
  case $(readlink "$prefix/bin/$name") in /*) fail "bin/$name is an absolute link";; esac
done
# Nothing of the build or the test suites slips into the tree.
if find "$prefix" -name '*test*' -o -name '*fixture*' -o -name '*.a' | grep . >/dev/null; then
  fail "test or build files installed: $(find "$prefix" -name '*test*' -o -name '*fixture*' -o -name '*.a')"
fi

# Run paths point only into the tree itself.
for f in "$app/VXTools" "$app/zps-sim" "$app/vxscope-capture" "$app/vxtools-crashbox" "$app"/*.so "$app"/plugins/*.so; do
  runpath=$(readelf -d "$f" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
  case $runpath in
    '$ORIGIN'|'$ORIGIN/..'|'') ;;
    *) fail "$f has run path '$runpath'";;
  esac
  if ldd "$f" | grep 'not found' >/dev/null; then fail "$f: $(ldd "$f" | grep 'not found')"; fi
  if ldd "$f" | grep "$build" >/dev/null; then fail "$f resolves a library from the build tree"; fi
done

# Moved elsewhere, the tree still works: run it from a copy under another name.
mv "$prefix" "$tmp/moved"
prefix="$tmp/moved"
app="$prefix/${VX_INSTALL_DIR:-lib/vxtools}"

"${VX_PROBE:?}" "$app/plugins" 3 | tee "$tmp/probe.log"
grep -q 'VXPlugin_Scope\|Scope' "$tmp/probe.log" || fail "the scope plug-in did not load"

# The program starts from its link and stays up (its first dialog waits for
# an address); no controller answers, the lamp just stays gray.
mkdir -p "$tmp/home"
HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_STATE_HOME="$tmp/home/.local/state" \
  QT_QPA_PLATFORM=offscreen "$prefix/bin/vxtools" >"$tmp/vxtools.log" 2>&1 &
vx_pid=$!
# Started means its three plug-ins are loaded, however long a busy machine
# takes (bounded); then it must still be up a moment later.
loaded=0
for _ in $(seq 1200); do
  kill -0 "$vx_pid" 2>/dev/null || break
  # (no match yet is no failure: set -e must not end the script here)
  loaded=$( (grep -o 'libVXPlugin_[A-Za-z]*\.so' "/proc/$vx_pid/maps" 2>/dev/null || true) | sort -u | wc -l)
  [ "$loaded" -ge 3 ] && break
  sleep 0.1
done
[ "$loaded" -ge 3 ] || { cat "$tmp/vxtools.log" >&2; fail "the installed program did not load its 3 plug-ins ($loaded)"; }
sleep 1
kill -0 "$vx_pid" 2>/dev/null || { cat "$tmp/vxtools.log" >&2; fail "the installed program ended after start-up"; }
if grep -qi 'cannot load\|not a valid\|undefined symbol' "$tmp/vxtools.log"; then
  cat "$tmp/vxtools.log" >&2; fail "the program reported a loading problem"
fi
# A writable program folder keeps the dump folder beside the program.
[ -d "$app/debugInfo" ] || fail "no debugInfo beside the writable installed program"
kill "$vx_pid"; wait "$vx_pid" 2>/dev/null || true; vx_pid=""
echo "installed tree complete and running"
