#!/bin/sh
# Builds the benchmarks in Release and runs them all in one go, then prints
# one table of the figures against their goals. CPU time is the figure that
# counts on a shared machine; wall time is shown beside it.
#   scripts/bench.sh            (build dir: build-perf-bench, or $VX_BENCH_BUILD)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VX_BENCH_BUILD:-$here/build-perf-bench}
out="$build/bench-results"
mkdir -p "$out"

# VX_BENCH_REUSE=1 prints the table of the last run again without running.
if [ "${VX_BENCH_REUSE:-0}" != 1 ]; then
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target scope_bench scopeplot_bench link_bench measure_bench vx-startup-timer \
    VXTools VXPlugin_Scope VXPlugin_Config VXPlugin_Script >/dev/null

export QT_QPA_PLATFORM=offscreen
"$build/bench-bin/scope_bench" --benchmark_filter='StoreAppendTrim|PlainArraysAppendTrim|PageRedraw|ImportFile|ParseNumbers|ExportFile|FormatNumbers|DerivedEvaluate12' \
    --benchmark_out="$out/scope.json" --benchmark_out_format=json >/dev/null 2>&1
"$build/bench-bin/scopeplot_bench" --benchmark_filter='StoreSnapshot|StoreCopyOut|SnapshotRedraw|SnapshotTrackerMove|TrackerMoveFullScan' \
    --benchmark_out="$out/scopeplot.json" --benchmark_out_format=json >/dev/null 2>&1
"$build/bench-bin/measure_bench" --benchmark_out="$out/measure.json" --benchmark_out_format=json >/dev/null 2>&1
"$build/bench-bin/link_bench" --benchmark_out="$out/link.json" --benchmark_out_format=json >/dev/null 2>&1
"$here/bench/startup/vxtools-startup.sh" "$build" 5 >"$out/startup.txt" 2>&1 || true

# The same four measurements counted in instructions under callgrind (about
# three minutes): a count does not depend on the machine's memory system or
# load, so its ratios show the program's share of the two time ratios above.
rm -f "$out"/cg-*
if command -v valgrind >/dev/null; then
    count() { # name, binary, filter, function
        valgrind --tool=callgrind --callgrind-out-file="$out/cg-$1.out" "--toggle-collect=$4" "$2" \
            --benchmark_filter="$3" --benchmark_min_time=0.01 \
            --benchmark_out="$out/cg-$1.json" --benchmark_out_format=json >/dev/null 2>&1 || true
    }
    count redraw10k "$build/bench-bin/scopeplot_bench" 'BM_SnapshotRedraw/10000$' '*coldRedraw*'
    count redraw1M "$build/bench-bin/scopeplot_bench" 'BM_SnapshotRedraw/1000000$' '*coldRedraw*'
    count import "$build/bench-bin/scope_bench" 'BM_ImportFile100kRows' 'scopefile::readFile*'
    count parse "$build/bench-bin/scope_bench" 'BM_ParseNumbers100kRows' '*parseNumbers*'
fi
fi

python3 - "$out" <<'PY'
import json, os, re, statistics, sys
out = sys.argv[1]
runs = {}
for name in ("scope", "scopeplot", "link", "measure"):
    with open(os.path.join(out, name + ".json")) as f:
        data = json.load(f)
    for b in data["benchmarks"]:
        runs[b["name"]] = b

def find(name):
    if name in runs:
        return runs[name]
    return next(b for n, b in runs.items() if n.startswith(name + "/"))

def ns(name, key="cpu_time"):
    b = find(name)
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b["time_unit"]]
    return b[key] * scale

def fmt(v):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if v >= scale:
            return "%.3g %s" % (v / scale, unit)
    return "%.3g ns" % v

rows = []
def add(goal, what, name, target=""):
    rows.append((goal, what, fmt(ns(name)), fmt(ns(name, "real_time")), target))

add("1", "append+trim, 1,000-row window", "BM_StoreAppendTrim/1000")
add("1", "append+trim, 1,000,000-row window", "BM_StoreAppendTrim/1000000")
add("1", "plain arrays, 1,000 rows", "BM_PlainArraysAppendTrim/1000")
add("1", "plain arrays, 1,000,000 rows", "BM_PlainArraysAppendTrim/1000000")
r1 = ns("BM_StoreAppendTrim/1000000") / ns("BM_StoreAppendTrim/1000")
rp = ns("BM_PlainArraysAppendTrim/1000000") / ns("BM_PlainArraysAppendTrim/1000")
rows.append(("1", "ratio 1M/1k, chunked store", "%.2fx" % r1, "", "< 1.5x"))
rows.append(("1", "ratio 1M/1k, plain arrays", "%.0fx" % rp, "", ""))
add("2", "store snapshot (data lock held), 10k rows", "BM_StoreSnapshot/10000")
add("2", "store snapshot (data lock held), 1M rows", "BM_StoreSnapshot/1000000")
add("2", "former copy-out of the window, 1M rows", "BM_StoreCopyOut/1000000")
add("2", "redraw 36 x 10,000 (1100x500 canvas)", "BM_SnapshotRedraw/10000", "< 16 ms")
add("2", "redraw 36 x 1,000,000 (1100x500 canvas)", "BM_SnapshotRedraw/1000000", "< 16 ms")
rows.append(("2", "ratio redraw 1M / 10k (summary hierarchy)",
             "%.2fx" % (ns("BM_SnapshotRedraw/1000000") / ns("BM_SnapshotRedraw/10000")), "", "<= 1.3x"))
add("2", "plain Qwt curves, 36 x 10,000, same canvas", "BM_SnapshotRedrawPlainQwt/10000")
rows.append(("2", "ratio plain Qwt / ours, 36 x 10,000",
             "%.0fx" % (ns("BM_SnapshotRedrawPlainQwt/10000") / ns("BM_SnapshotRedraw/10000")), "", ""))
add("2", "running redraw 36 x 10,000 (window moved 384 rows)", "BM_SnapshotRedrawLive/10000", "< 16 ms")
add("2", "running redraw 36 x 1,000,000 (window moved 384 rows)", "BM_SnapshotRedrawLive/1000000", "< 16 ms")
rows.append(("2", "ratio running redraw 1M / 10k",
             "%.2fx" % (ns("BM_SnapshotRedrawLive/1000000") / ns("BM_SnapshotRedrawLive/10000")), "", "<= 1.3x"))
add("2", "page redraw 36 x 10,000 (feedPlot+repaint)", "BM_PageRedraw/10000/0", "< 20 ms")
add("2", "page redraw 36 x 1,000,000 (feedPlot+repaint)", "BM_PageRedraw/1000000/0", "< 100 ms")
add("2", "running page redraw 36 x 10,000 (window moved 384 rows)", "BM_PageRedraw/10000/384")
add("2", "running page redraw 36 x 1,000,000 (window moved 384 rows)", "BM_PageRedraw/1000000/384")
b = find("BM_PageRedraw/1000000/0")
rows.append(("3", "page at 1M rows: process resident / raw bytes",
             "%.0f / %.0f MB = %.2fx" % (b["rss_MB"], b["raw_MB"], b["rss_MB"] / b["raw_MB"]), "", "< 1.5x"))
add("4", "tracker move, 36 x 10,000", "BM_SnapshotTrackerMove/10000")
add("4", "tracker move, 36 x 1,000,000", "BM_SnapshotTrackerMove/1000000", "< 10 ms")
add("4", "full linear search, 36 x 1,000,000", "BM_TrackerMoveFullScan/1000000")
add("5", "reply stream read, 100 rows", "BM_ScopeStreamRead100Rows")
add("5", "memcpy of the 29,600 row bytes", "BM_Memcpy100Rows")
add("5", "resize (zero fill) + memcpy", "BM_ResizeAndMemcpy100Rows")
rows.append(("5", "ratio reply stream read / memcpy",
             "%.2fx" % (ns("BM_ScopeStreamRead100Rows") / ns("BM_Memcpy100Rows")), "", "near 1x"))
mapped, painted = [], []
with open(os.path.join(out, "startup.txt")) as f:
    for line in f:
        m = re.match(r"mapped_ms=([\d.]+) painted_ms=([\d.]+)", line)
        if m:
            mapped.append(float(m.group(1)))
            painted.append(float(m.group(2)))
if painted:
    rows.append(("6", "VXTools window mapped (median of %d)" % len(mapped), "%.0f ms" % statistics.median(mapped), "", ""))
    rows.append(("6", "VXTools window painted (median; runs: %s)" % " ".join("%.0f" % p for p in painted),
                 "%.0f ms" % statistics.median(painted), "", "< 500 ms"))
else:
    rows.append(("6", "VXTools start-up", "not measured (see %s/startup.txt)" % out, "", ""))
add("7", "import of a 100,000-row file of 36 curves (30 MB)", "BM_ImportFile100kRows")
add("7", "std::from_chars alone over the same numbers", "BM_ParseNumbers100kRows")
rows.append(("7", "ratio import / from_chars",
             "%.2fx" % (ns("BM_ImportFile100kRows") / ns("BM_ParseNumbers100kRows")), "", "<= 1.5x"))
add("7", "export of the same 100,000 rows to a file", "BM_ExportFile100kRows")
add("7", "std::to_chars alone over the same numbers", "BM_FormatNumbers100kRows")
rows.append(("7", "ratio export / to_chars",
             "%.2fx" % (ns("BM_ExportFile100kRows") / ns("BM_FormatNumbers100kRows")), "", "<= 1.5x"))

# Instructions per run of what a benchmark times: the collected total over
# the iterations its JSON says it ran.
def instructions(name):
    try:
        with open(os.path.join(out, "cg-%s.json" % name)) as f:
            iterations = sum(b["iterations"] for b in json.load(f)["benchmarks"])
        with open(os.path.join(out, "cg-%s.out" % name)) as f:
            total = next(int(l.split()[1]) for l in f if l.startswith("totals:"))
        return total / iterations if iterations and total else None
    except (OSError, ValueError, KeyError, StopIteration):
        return None

counted = {n: instructions(n) for n in ("redraw10k", "redraw1M", "import", "parse")}
def mega(v):
    return "%.1f M instr" % (v / 1e6)
if all(counted.values()):
    rows.append(("2", "instructions, cold redraw 36 x 10,000 / 36 x 1,000,000",
                 "%s / %s" % (mega(counted["redraw10k"]), mega(counted["redraw1M"])), "", ""))
    rows.append(("2", "ratio of those instructions, 1M / 10k",
                 "%.2fx" % (counted["redraw1M"] / counted["redraw10k"]), "", "(time: <= 1.3x)"))
    rows.append(("7", "instructions, import / from_chars alone",
                 "%s / %s" % (mega(counted["import"]), mega(counted["parse"])), "", ""))
    rows.append(("7", "ratio of those instructions, import / from_chars",
                 "%.2fx" % (counted["import"] / counted["parse"]), "", "(time: <= 1.5x)"))
else:
    rows.append(("-", "instruction counts", "not measured (valgrind missing or a run failed)", "", ""))
add("M", "cursor step + readout values, 36 x 1,000,000", "BM_CursorStepReadout", "< 10 ms")
add("M", "statistics, 36 x 1,000,000", "BM_Statistics36Curves", "< 50 ms")
add("M", "spectrum of 1,000,000 samples", "BM_Spectrum1M", "< 200 ms")
# A row every millisecond: ns per row x 1000 rows/s, as a share of one core.
d = ns("BM_DerivedEvaluate12")
rows.append(("8", "12 derived channels, one row (%s): CPU at 1 kHz" % fmt(d), "%.2f %%" % (d * 1000 / 1e9 * 100),
             "", "< 5 %"))

w = [max(len(r[i]) for r in rows + [("goal", "measurement", "CPU", "wall", "target")]) for i in range(5)]
line = "  ".join("%-*s" % (w[i], h) for i, h in enumerate(("goal", "measurement", "CPU", "wall", "target")))
print(line)
print("-" * len(line))
for r in rows:
    print("  ".join("%-*s" % (w[i], r[i]) for i in range(5)))
print("\nload average: %s" % open("/proc/loadavg").read().split()[:3])
PY
