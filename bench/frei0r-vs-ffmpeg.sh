#!/usr/bin/env bash
# The frei0r filter inside FFmpeg beside FFmpeg's own scale,rotate,overlay
# chain doing the same job on 1080p frames, single-threaded, in one run:
# a 1000 x 750 picture stretched to half the frame's width and height,
# turned 28.8 degrees, at 50 % opacity, normal blend, over each frame.
# Each job runs over a short and a long clip; the difference, divided by
# the frames between them, is the cost of a frame without the one-time
# costs (loading the filter, reading the picture). Prints milliseconds per
# frame (user time) and how many times faster ours is. First it reports the
# filter's own weight in its host: its size, the libraries it brings in,
# and the one-time cost of loading it (a one-frame run with the filter and
# no picture, beyond the same run without it; wall time, median of 5).
# Last on each line: the same drawing through the bundle (the DoEffect
# benchmark) and the filter's time as a multiple of it.
# Needs the normal build: scripts/build build.
set -euo pipefail
cd "$(dirname "$0")/.."
short=${SHORT:-20}
long=${LONG:-120}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff=(ffmpeg -hide_banner -nostdin -nostats -loglevel info -benchmark -threads 1 -filter_threads 1 -filter_complex_threads 1)
export FREI0R_PATH="$PWD/build/frei0r-1" QUORVEL_THREADS=1

ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=1000x750:rate=1" -frames:v 1 "$work/picture.png"
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25" -frames:v "$long" \
  -c:v rawvideo -pix_fmt rgba "$work/clip.nut"

utime() {  # user seconds of an ffmpeg run over $1 frames, from its -benchmark line
  local frames=$1
  shift
  "${ff[@]}" "$@" -frames:v "$frames" -f null - 2>&1 | sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p' | tail -1
}
per_frame() {  # milliseconds a frame between the short and the long run
  local a b
  a=$(utime "$short" "$@")
  b=$(utime "$long" "$@")
  awk -v a="$a" -v b="$b" -v s="$short" -v l="$long" 'BEGIN { printf "%.3f", (b - a) * 1000 / (l - s) }'
}

so="$FREI0R_PATH/quorvel.so"
stripped=$(mktemp)
strip -o "$stripped" "$so"
echo "quorvel.so: $(stat -c %s "$so") bytes, $(stat -c %s "$stripped") stripped;" \
  "$(ldd "$so" | wc -l) libraries loaded with it, $(ldd "$so" | grep -c -i qt || true) of them Qt's"
rm -f "$stripped"
wall() {  # median wall milliseconds of five one-frame runs
  for k in 1 2 3 4 5; do
    local t0 t1
    t0=$(date +%s%N)
    "${ff[@]}" -i "$work/clip.nut" "$@" -frames:v 1 -f null - >/dev/null 2>&1
    t1=$(date +%s%N)
    echo $(((t1 - t0) / 1000000))
  done | sort -n | sed -n 3p
}
plain=$(wall -vf format=rgba)
loaded=$(wall -vf "frei0r=filter_name=quorvel:filter_params=|0|0|1|1")
echo "loading the filter: $((loaded - plain)) ms (a one-frame run: $loaded ms with it, $plain ms without)"

a='28.8*PI/180'
in=(-i "$work/clip.nut" -loop 1 -framerate 25 -i "$work/picture.png")
chain="[1:v]format=rgba,scale=w=960:h=540:eval=frame,rotate=a=$a:c=none:ow=rotw($a):oh=roth($a),colorchannelmixer=aa=0.5[p];[0:v][p]overlay=x=(W-w)/2:y=(H-h)/2:format=rgb:shortest=1,format=rgba[v]"
ours="frei0r=filter_name=quorvel:filter_params=$work/picture.png|0.25|0.25|0.5|0.5|0.25|0.25|0.5|0.5|0|1|0|0xffffff|0.5|0.08|normal"
# The same drawing through the bundle's entry point (the benchmark's
# DoEffect job is this one), fastest of three, for the filter's overhead.
bundle() {
  build/bench/quorvel_bench --benchmark_filter='DoEffect/1920/1080/1/' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true 2>/dev/null | awk '/_min / { print $2 }'
}
for run in 1 2 3; do
  base=$(per_frame -i "$work/clip.nut" -vf format=rgba)
  theirs=$(per_frame "${in[@]}" -filter_complex "$chain" -map "[v]")
  mine=$(per_frame -i "$work/clip.nut" -vf "$ours")
  drawn=$(bundle)
  awk -v b="$base" -v t="$theirs" -v m="$mine" -v d="$drawn" -v r="$run" 'BEGIN {
    printf "run %d, 1920x1080, ms/frame beyond reading the frames (%.2f): ffmpeg scale,rotate,overlay %6.2f   frei0r quorvel %6.2f   %.1fx;   the bundle %.2f, the filter %.2fx of it\n",
      r, b, t - b, m - b, (t - b) / (m - b), d, (m - b) / d }'
done
