#!/usr/bin/env bash
# FFmpeg doing the per-frame job of the effect, single-threaded, for
# comparison with quorvel_bench's BM_DoEffect: a 1000 x 750 picture scaled
# (evaluated per frame) to half the frame's width and height, turned 28.8
# degrees, at 50 % opacity, over each frame; normal through the overlay
# filter, multiply through the blend filter. Prints milliseconds per frame
# with the cost of making and reading the frames alone taken off.
set -euo pipefail
frames=${FRAMES:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff=(ffmpeg -hide_banner -nostdin -nostats -loglevel info -benchmark -threads 1 -filter_threads 1 -filter_complex_threads 1)

ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=1000x750:rate=1" -frames:v 1 "$work/picture.png"

utime() {  # user seconds of an ffmpeg run, from its -benchmark line
  "${ff[@]}" "$@" -f null - 2>&1 | sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p' | tail -1
}

for size in 720x480 1920x1080 3840x2160; do
  w=${size%x*}; h=${size#*x}
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v "$frames" \
    -c:v rawvideo -pix_fmt rgba "$work/clip.nut"
  in=(-i "$work/clip.nut" -loop 1 -framerate 25 -i "$work/picture.png")
  picture="[1:v]format=rgba,scale=w=$((w/2)):h=$((h/2)):eval=frame,rotate=a=28.8*PI/180:c=none:ow=rotw(28.8*PI/180):oh=roth(28.8*PI/180),colorchannelmixer=aa=0.5"
  base=$(utime "${in[@]}" -filter_complex "[0:v]format=rgba[v]" -map "[v]" -frames:v "$frames")
  normal=$(utime "${in[@]}" -filter_complex "$picture[p];[0:v][p]overlay=x=(W-w)/2:y=(H-h)/2:format=rgb:shortest=1,format=rgba[v]" -map "[v]" -frames:v "$frames")
  multiply=$(utime "${in[@]}" -filter_complex "$picture,pad=$w:$h:(ow-iw)/2:(oh-ih)/2:color=black@0[p];[0:v]format=rgba[b];[b][p]blend=all_mode=multiply:all_opacity=0.5:shortest=1[v]" -map "[v]" -frames:v "$frames")
  awk -v s="$size" -v b="$base" -v n="$normal" -v m="$multiply" -v f="$frames" \
    'BEGIN { printf "ffmpeg %-10s normal %7.2f ms/frame   multiply %7.2f ms/frame\n", s, (n-b)*1000/f, (m-b)*1000/f }'
done
