#!/usr/bin/env bash
# Peak memory of a long render beside a short one: a 1-minute and a
# 20-minute 720p clip at 25 frames a second with a tone, each rendered to
# MP4 with a picture gliding over every frame. A render holds a frame or
# two and the encoders' own look-ahead, whatever the clip's length, so the
# two peaks should be within 10 % of each other. Prints both peaks (maximum
# resident set, from GNU time) and the long one's share of the short one.
# The long clip takes some minutes to make and to render.
# Needs the normal build: scripts/build build. MINUTES=N sets the long one.
set -euo pipefail
cd "$(dirname "$0")/.."
long=${MINUTES:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
host=build/hostapp/quorvel-host
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen

ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=800x600:rate=1" -frames:v 1 "$work/picture.png"
printf '%s\n' "picture $work/picture.png" "rect end" "drag 0.5 0.5 0.8 0.8" "slider opacity 70" ok > "$work/script.txt"

peak() {  # peak resident kilobytes of rendering a clip of $1 minutes
  local clip="$work/clip-$1.mp4"
  ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$(($1 * 60))" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$(($1 * 60))" \
    -c:v libx264 -preset ultrafast -c:a aac "$clip"
  /usr/bin/time -f %M -o "$work/peak" "$host" render "$clip" -o "$work/out-$1.mp4" \
    --configure --script "$work/script.txt" 2>"$work/render.log" || { cat "$work/render.log"; exit 1; }
  rm -f "$clip" "$work/out-$1.mp4"
  cat "$work/peak"
}

short=$(peak 1)
printf 'render of a 1-minute 720p clip:   peak %d MB\n' $((short / 1024))
longer=$(peak "$long")
printf 'render of a %d-minute 720p clip: peak %d MB (%s of the short one)\n' "$long" $((longer / 1024)) \
  "$(awk -v a="$longer" -v b="$short" 'BEGIN { printf "%.1f %%", 100 * a / b }')"
