#!/usr/bin/env bash
# The frei0r bridge inside the real tools: tools_test.sh CASE. Every frame a tool writes
# is compared with what `ffgl-host render` draws for the same input and parameters.
# CTest sets FFGL_HOST, QUELLIX, HOSTILE, NO_ENTRY, FRAME_DIFF, BUILD_DIR and WORK.
set -euo pipefail
mkdir -p "$WORK" && cd "$WORK"
export FREI0R_PATH="$WORK/mods" HOME="$WORK"  # no ~/.frei0r-1 modules of the user
SIZE=320x240 N=8
PARAMS_FF="0.25|0.8|1|0.4|0|0"
PARAMS_SET=(--set "Flare X=0.25" --set "Flare Y=0.8" --set Intensity=1 --set Size=0.4
  --set "Auto Move=0" --set Strobe=0)
MELT_PARAMS=("Flare X=0.25" "Flare Y=0.8" "Intensity=1" "Size=0.4" "Auto Move=0" "Strobe=0")
FF=(ffmpeg -v error -nostdin -y)
fail() { echo "FAIL: $*" >&2; exit 1; }
raw() { "${FF[@]}" -i "$1" -f rawvideo -pix_fmt rgba "$2"; }
# ref NAME INPUT FRAMES [ffgl-host options]: the host's own frames as raw RGBA.
ref() {
  local name=$1 input=$2 frames=$3; shift 3
  rm -rf "ref_$name"
  "$FFGL_HOST" render "$QUELLIX" --input "$input" -n "$frames" --out "ref_$name" -q "$@" >/dev/null
  raw "ref_$name/frame_%04d.png" "ref_$name.rgba"
}
same() {
  local result
  result=$("$FRAME_DIFF" "$1" "$2" "${4:-0}") || fail "$3 differs from ffgl-host render: $result"
  echo "$3: $result"
}
visible() { "$FRAME_DIFF" "$1" "$2" --at-least 128 >/dev/null || fail "no flare in $2"; }
melt_run() {  # melt_run OUT INPUT FRAMES [filter properties] [-- consumer properties]
  local out=$1 input=$2 frames=$3; shift 3
  local filter=() consumer=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do filter+=("$1"); shift; done
  [ $# -gt 0 ] && shift && consumer=("$@")
  melt -quiet -profile "$WORK/profile" "$input" out=$((frames - 1)) \
    -attach frei0r.quellix_shine "${filter[@]}" \
    -consumer "avformat:$out" f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1 "${consumer[@]}" \
    2> >(grep -v -e LADSPA -e '^$' >&2)
}
gst_picture() { echo "filesrc location=pic.png ! pngdec ! imagefreeze num-buffers=$N"; }
gst_clip() { echo "multifilesrc location=clip/%04d.png stop-index=$((N - 1)) caps=image/png,framerate=25/1 ! pngdec"; }
gst_run() {  # gst_run OUT SOURCE [element properties]
  local out=$1 source=$2; shift 2
  # shellcheck disable=SC2086
  gst-launch-1.0 -q $source ! videoconvert ! video/x-raw,format=RGBA,framerate=25/1 \
    ! frei0r-filter-quellix-shine "$@" ! filesink location="$out"
}
# hostile MODE MODULE: the hostile plug-in inside ffmpeg writing raw video to a pipe.
hostile() {
  HOSTILE_MODE=$1 FFGL_BRIDGE_TIMEOUT=2 "${FF[@]}" -loop 1 -i pic.png -frames:v 4 \
    -vf "format=rgba,frei0r=$2" -f rawvideo -pix_fmt rgba - 2>"err_$1" | cat >"out_$1.rgba" ||
    fail "ffmpeg failed with HOSTILE_MODE=$1: $(cat "err_$1")"
  echo "HOSTILE_MODE=$1, standard error:"; sed 's/^/    /' "err_$1"
}

case "$1" in
  setup)
    cd / && rm -rf "$WORK" && mkdir -p "$WORK/mods" "$WORK/clip" && cd "$WORK"
    printf '%s\n' "description=test" width=320 height=240 frame_rate_num=25 frame_rate_den=1 \
      progressive=1 sample_aspect_num=1 sample_aspect_den=1 display_aspect_num=4 \
      display_aspect_den=3 colorspace=601 >profile
    "${FF[@]}" -f lavfi -i "testsrc2=size=$SIZE:rate=25" -frames:v 1 pic.png
    "${FF[@]}" -f lavfi -i "testsrc2=size=$SIZE:rate=25" -frames:v $N -start_number 0 clip/%04d.png
    "${FF[@]}" -framerate 25 -i clip/%04d.png -c:v png clip.mkv  # lossless
    "${FF[@]}" -loop 1 -i pic.png -frames:v 4 -f rawvideo -pix_fmt rgba in4.rgba
    "${FF[@]}" -loop 1 -i pic.png -frames:v $N -f rawvideo -pix_fmt rgba in_pic.rgba
    raw clip.mkv in_clip.rgba
    for plugin in "$QUELLIX" "$HOSTILE"; do "$FFGL_HOST" frei0r "$plugin" --out mods; done
    ref pic pic.png $N
    ref clip clip.mkv $N "${PARAMS_SET[@]}" ;;
  ffmpeg_picture)  # through a pipe, as `ffmpeg ... - | next` runs
    "${FF[@]}" -loop 1 -i pic.png -frames:v $N -vf format=rgba,frei0r=quellix_shine \
      -f rawvideo -pix_fmt rgba - | cat >ff_pic.rgba
    same ref_pic.rgba ff_pic.rgba "ffmpeg, picture"; visible in_pic.rgba ff_pic.rgba ;;
  ffmpeg_clip)
    "${FF[@]}" -i clip.mkv -vf "format=rgba,frei0r=quellix_shine:$PARAMS_FF" -f rawvideo \
      -pix_fmt rgba ff_clip.rgba
    same ref_clip.rgba ff_clip.rgba "ffmpeg, clip"; visible in_clip.rgba ff_clip.rgba ;;
  ffmpeg_clamped)  # values beyond 0..1 are clamped
    ref clamp pic.png 2 --set "Flare X=1" --set "Flare Y=0"
    "${FF[@]}" -loop 1 -i pic.png -frames:v 2 -vf "format=rgba,frei0r=quellix_shine:5|-3" \
      -f rawvideo -pix_fmt rgba ff_clamp.rgba
    same ref_clamp.rgba ff_clamp.rgba "ffmpeg, values clamped" ;;
  melt_picture)
    melt_run melt_pic.rgba pic.png $N
    same ref_pic.rgba melt_pic.rgba "melt, picture"; visible in_pic.rgba melt_pic.rgba ;;
  melt_clip)
    melt_run melt_clip.rgba clip.mkv $N "${MELT_PARAMS[@]}"
    same ref_clip.rgba melt_clip.rgba "melt, clip" ;;
  melt_threads)  # one instance per thread, each frame drawn as in sequence
    ref pic30 pic.png 30
    melt_run melt_threads.rgba pic.png 30 -- real_time=-2
    same ref_pic30.rgba melt_threads.rgba "melt real_time=-2, 30 frames" ;;
  melt_project)  # the editors' path: an MLT XML project with the filter
    { echo "<mlt><profile description=\"test\" width=\"320\" height=\"240\" frame_rate_num=\"25\""
      echo " frame_rate_den=\"1\" progressive=\"1\" sample_aspect_num=\"1\" sample_aspect_den=\"1\""
      echo " display_aspect_num=\"4\" display_aspect_den=\"3\" colorspace=\"601\"/>"
      echo "<producer id=\"clip\" in=\"0\" out=\"$((N - 1))\"><property name=\"resource\">clip.mkv</property>"
      echo "<filter><property name=\"mlt_service\">frei0r.quellix_shine</property>"
      for p in "${MELT_PARAMS[@]}"; do echo "<property name=\"${p%=*}\">${p#*=}</property>"; done
      echo "</filter></producer><playlist id=\"main\"><entry producer=\"clip\"/></playlist>"
      echo "<tractor><track producer=\"main\"/></tractor></mlt>"; } >project.mlt
    melt -quiet project.mlt -consumer avformat:melt_project.rgba f=rawvideo vcodec=rawvideo \
      pix_fmt=rgba an=1 2> >(grep -v -e LADSPA -e '^$' >&2)
    same ref_clip.rgba melt_project.rgba "melt, MLT XML project" ;;
  gst_picture)
    gst_run gst_pic.rgba "$(gst_picture)"
    same ref_pic.rgba gst_pic.rgba "gst-launch-1.0, picture" ;;
  gst_clip)
    gst_run gst_clip.rgba "$(gst_clip)" flare-x=0.25 flare-y=0.8 intensity=1 size=0.4 \
      auto-move=0 strobe=0
    same ref_clip.rgba gst_clip.rgba "gst-launch-1.0, clip" ;;
  hostile)  # crash, hang, exit: the frames pass through, one line each time
    for mode in crash:17 hang:17 exit:17; do
      hostile $mode hostile
      same in4.rgba "out_$mode.rgba" "output with HOSTILE_MODE=$mode (passed through)"
      [ "$(grep -c '^hostile: ' "err_$mode")" = 2 ] || fail "expected two lines"
      grep -q 'frames pass through unchanged from frame 1 on' "err_$mode" || fail "no pass-through"
    done ;;
  watchdog)  # a frame that keeps the GPU busy, one that writes into the worker's descriptors
    for mode in gpu-busy:5 scribble:5; do
      start=$SECONDS
      HOSTILE_MODE=$mode FFGL_BRIDGE_TIMEOUT=2 "${FF[@]}" -loop 1 -i pic.png -frames:v $N \
        -vf format=rgba,frei0r=hostile -f rawvideo -pix_fmt rgba - 2>"err_$mode" |
        cat >"out_$mode.rgba" || fail "ffmpeg failed with HOSTILE_MODE=$mode: $(cat "err_$mode")"
      echo "HOSTILE_MODE=$mode: $((SECONDS - start)) s, standard error:"; sed 's/^/    /' "err_$mode"
      [ "$(stat -c %s "out_$mode.rgba")" = $((N * 320 * 240 * 4)) ] || fail "frames lost"
      # Each frame waits at most the limit and three seconds.
      [ $((SECONDS - start)) -le $(($(grep -c '^hostile: ' "err_$mode") * 5 + 3)) ] || fail "slow"
    done
    grep -q '^hostile: the plug-in did not finish its drawing within 2 s in function code 17' \
      err_gpu-busy:5 || fail "the busy GPU went unreported" ;;
  chatty)  # what the plug-in prints stays out of ffmpeg's standard output
    hostile chatty hostile
    hostile quiet hostile
    cmp "out_chatty.rgba" "out_quiet.rgba" || fail "the plug-in's output reached ffmpeg's"
    [ "$(stat -c %s out_chatty.rgba)" = $((4 * 320 * 240 * 4)) ] || fail "short output"
    grep -q '^\[plugin\] chatty: code 17$' err_chatty || fail "the plug-in's lines are lost"
    # Instances made only to be asked about (GStreamer, melt -query) start no worker.
    HOSTILE_MODE=chatty gst-inspect-1.0 frei0r-filter-hostile >inspect 2>&1
    HOSTILE_MODE=chatty melt -query filter=frei0r.hostile >>inspect 2>&1
    grep -q 'Level' inspect || fail "the tools did not describe the plug-in"
    ! grep -q 'chatty' inspect || fail "a worker ran for an instance that drew nothing" ;;
  bad_plugin)  # a plug-in moved away, then replaced by a library without plugMain
    mkdir -p moved moved_mods && cp "$HOSTILE" moved/hostile_copy.so
    "$FFGL_HOST" frei0r moved/hostile_copy.so --out moved_mods >/dev/null
    rm moved/hostile_copy.so
    for state in missing not_a_plugin; do
      ! FREI0R_PATH="$WORK/moved_mods" "${FF[@]}" -i pic.png -vf format=rgba,frei0r=hostile \
        -f null - 2>"err_$state" || fail "ffmpeg accepted a $state plug-in"
      echo "$state: $(grep '^hostile: ' "err_$state")"
      grep -q '^hostile: cannot use the FFGL plug-in .*hostile_copy.so: ' "err_$state" || fail "no reason"
      cp "$NO_ENTRY" moved/hostile_copy.so
    done
    ! "${FF[@]}" -f lavfi -i color=size=16400x16 -frames:v 1 \
      -vf format=rgba,frei0r=quellix_shine -f null - 2>err_size || fail "accepted 16400x16"
    grep -q 'quellix_shine: a frame of 16400x16 cannot be drawn' err_size || fail "size"
    __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent "${FF[@]}" -loop 1 -i pic.png -frames:v 2 \
      -vf format=rgba,frei0r=quellix_shine -f rawvideo -pix_fmt rgba no_gl.rgba 2>err_gl
    echo "no GL: $(grep '^quellix_shine: ' err_gl | head -1)"
    grep -q 'quellix_shine: .*OpenGL' err_gl || fail "no word on the missing GL" ;;
  install)  # the installed layout, found relative to the bridge's own file
    rm -rf prefix && cmake --install "$BUILD_DIR" --prefix "$WORK/prefix" >/dev/null
    for f in lib/ffgl/Quellix.so lib/frei0r-1/quellix_shine.so libexec/ffgl-host/ffgl-worker \
      share/kdenlive/effects/frei0r_quellix_shine.xml share/shotcut/qml/filters/quellix_shine/meta.qml \
      share/shotcut/qml/filters/quellix_shine/ui.qml; do [ -e "prefix/$f" ] || fail "no $f"; done
    exports=$(nm -D --defined-only prefix/lib/frei0r-1/quellix_shine.so | awk '{print $3}' | sort)
    echo "exports:" $exports
    [ -z "$(echo "$exports" | grep -v '^f0r_')" ] || fail "exports beyond f0r_*"
    FREI0R_PATH="$WORK/prefix/lib/frei0r-1" "${FF[@]}" -loop 1 -i pic.png -frames:v $N \
      -vf format=rgba,frei0r=quellix_shine -f rawvideo -pix_fmt rgba installed.rgba
    same ref_pic.rgba installed.rgba "installed bridge, ffmpeg" ;;
  *) fail "unknown case $1" ;;
esac
