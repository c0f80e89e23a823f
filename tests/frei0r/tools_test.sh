#!/usr/bin/env bash
# The frei0r bridge inside the real tools and editors: tools_test.sh CASE. Every frame a
# tool writes is compared with what `ffgl-host render` draws for the same input,
# parameters and time (or with what the tool draws for the same time another way).
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
# only_line FILE PATTERN: FILE has exactly one line of the module, and it matches.
only_line() {
  [ "$(grep -c "^$3: " "$1")" = 1 ] || fail "not one line in $1: $(cat "$1")"
  grep -q "$2" "$1" || fail "no '$2' in $1: $(cat "$1")"
  echo "    $(grep "^$3: " "$1")"
}
# step RATE K: the plug-in's step for frame K of a RATE fps clip, round(60 K / RATE).
step() { echo $(((120 * $2 + $1) / (2 * $1))); }
# ref NAME SOURCE FRAMES [RATE [FIRST [ffgl-host options]]]: frames FIRST.. of a RATE fps
# (25) clip as ffgl-host draws them, raw RGBA. The host draws a 60 fps clip, one step a
# frame, holding SOURCE (a picture, or a folder of frames numbered from 0) frame k at step
# round(60 k / RATE); the frames at those steps are kept.
ref() {
  local name=$1 source=$2 frames=$3 rate=${4:-25} first=${5:-0} s k=0 picture
  shift $(($# < 5 ? $# : 5))
  local last; last=$(step "$rate" $((first + frames - 1)))
  rm -rf "seq_$name" "ref_$name" && mkdir "seq_$name"
  for ((s = 0; s <= last; s++)); do
    while [ "$(step "$rate" $((k + 1)))" -le $s ]; do k=$((k + 1)); done
    picture=$source; [ -d "$source" ] && picture=$source/$(printf %04d $((k % N))).png
    ln -s "$WORK/$picture" "seq_$name/$(printf %06d $s).png"
  done
  "${FF[@]}" -framerate 60 -i "seq_$name/%06d.png" -c:v png "seq_$name.mkv"
  "$FFGL_HOST" render "$QUELLIX" --input "seq_$name.mkv" -n $((last + 1)) --out "ref_$name" \
    -q "$@" >/dev/null
  for ((k = first; k < first + frames; k++)); do
    raw "ref_$name/frame_$(printf %04d "$(step "$rate" $k)").png" -
  done >"ref_$name.rgba"
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
# project FILE RATE ENTRIES [filter properties]: an MLT project at RATE fps of a still
# picture 20000 frames long (small.png, 160x120) with the flare on it, played as the
# playlist ENTRIES ("IN-OUT" each).
project() {
  local file=$1 rate=$2 entries=$3 e p; shift 3
  { echo "<mlt><profile width=\"160\" height=\"120\" frame_rate_num=\"$rate\" frame_rate_den=\"1\""
    echo " progressive=\"1\" sample_aspect_num=\"1\" sample_aspect_den=\"1\" display_aspect_num=\"4\""
    echo " display_aspect_den=\"3\" colorspace=\"601\"/><producer id=\"pic\" in=\"0\" out=\"19999\">"
    echo "<property name=\"resource\">small.png</property><property name=\"length\">20000</property>"
    echo "<filter><property name=\"mlt_service\">frei0r.quellix_shine</property>"
    for p in "$@"; do echo "<property name=\"${p%%=*}\">${p#*=}</property>"; done
    echo "</filter></producer><playlist id=\"main\">"
    for e in $entries; do echo "<entry producer=\"pic\" in=\"${e%-*}\" out=\"${e#*-}\"/>"; done
    echo "</playlist><tractor><track producer=\"main\"/></tractor></mlt>"; } >"$file"
}
melt_xml() {  # melt_xml PROJECT OUT: the project's frames as raw RGBA
  melt -quiet "$1" -consumer "avformat:$2" f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1 \
    2> >(grep -v -e LADSPA -e '^$' >&2)
}
# cut FILE OUT K...: frames K... of a raw RGBA file of frames of FRAME bytes (160x120)
cut() {
  local file=$1 out=$2 k; shift 2
  for k in "$@"; do dd if="$file" bs="${FRAME:-76800}" skip="$k" count=1 status=none; done >"$out"
}
seconds() { local start=$EPOCHREALTIME; "$@"; echo "$EPOCHREALTIME - $start" | bc; }
EDITOR_SET=(--set "Flare Y=0.8" --set Intensity=1 --set Size=0.4 --set "Auto Move=0" --set Strobe=0)
# editor_project X [CONSUMER]: a project of clip.mkv with the flare, its Flare X property
# named X and keyframed; as Shotcut (X=0, properties by index) or Kdenlive writes it.
editor_project() {
  local x=$1 i=1 p
  echo "<mlt LC_NUMERIC=\"C\" version=\"7.12.0\" producer=\"main_bin\" root=\"$WORK\">"
  echo " <profile description=\"test\" width=\"320\" height=\"240\" frame_rate_num=\"25\""
  echo "  frame_rate_den=\"1\" progressive=\"1\" sample_aspect_num=\"1\" sample_aspect_den=\"1\""
  echo "  display_aspect_num=\"4\" display_aspect_den=\"3\" colorspace=\"601\"/>"
  echo " <producer id=\"bin_clip\" in=\"0\" out=\"7\"><property name=\"length\">8</property>"
  echo "  <property name=\"resource\">clip.mkv</property><property name=\"kdenlive:id\">2</property>"
  echo " </producer><playlist id=\"main_bin\"><property name=\"xml_retain\">1</property>"
  if [ "$x" != 0 ]; then
    echo "  <property name=\"kdenlive:docproperties.version\">1.04</property>"
    echo "  <entry producer=\"bin_clip\" in=\"0\" out=\"7\"/>"
  fi
  echo " </playlist><producer id=\"clip\" in=\"0\" out=\"7\"><property name=\"length\">8</property>"
  echo "  <property name=\"resource\">clip.mkv</property><property name=\"kdenlive:id\">2</property>"
  [ "$x" = 0 ] && echo "  <filter id=\"flare\" out=\"7\">"
  [ "$x" != 0 ] && echo " </producer><playlist id=\"track\"><entry producer=\"clip\" in=\"0\" out=\"7\"><filter id=\"flare\">"
  echo "   <property name=\"mlt_service\">frei0r.quellix_shine</property>"
  echo "   <property name=\"kdenlive_id\">frei0r.quellix_shine</property>"
  echo "   <property name=\"shotcut:filter\">frei0rQuellixShine</property>"
  echo "   <property name=\"$x\">0=0.2;7=0.8</property>"
  for p in "Flare Y=0.8" "Intensity=1.7" "Size=0.4" "Auto Move=0" "Strobe=0"; do
    [ "$x" = 0 ] && p="$i=${p#*=}" && i=$((i + 1))
    echo "   <property name=\"${p%=*}\">${p#*=}</property>"
  done
  if [ "$x" = 0 ]; then
    echo "  </filter></producer><playlist id=\"track\"><property name=\"shotcut:video\">1</property>"
    echo "  <property name=\"shotcut:name\">V1</property><entry producer=\"clip\" in=\"0\" out=\"7\"/>"
    echo " </playlist><tractor id=\"project\" in=\"0\" out=\"7\"><property name=\"shotcut\">1</property>"
    echo "  <track producer=\"track\"/></tractor>"
  else
    echo "  </filter></entry></playlist><playlist id=\"empty\"/>"
    echo " <producer id=\"black\" in=\"0\" out=\"7\"><property name=\"length\">8</property>"
    echo "  <property name=\"resource\">black</property><property name=\"mlt_service\">color</property></producer>"
    echo " <tractor id=\"tracks\" in=\"0\" out=\"7\"><track producer=\"track\"/><track producer=\"empty\"/></tractor>"
    echo " <tractor id=\"project\" global_feed=\"1\" in=\"0\" out=\"7\"><track producer=\"black\"/>"
    echo "  <track producer=\"tracks\"/></tractor>"
  fi
  echo "${2:-}</mlt>"
}
# await_editor PID CLASS TITLE LOG: the editor's window of that class whose title matches
# the pattern TITLE, once it is there and the editor runs a worker
await_editor() {
  local tries window found
  for ((tries = 0; tries < 120; tries++)); do
    window=
    for found in $(xdotool search --class "$2" 2>/dev/null); do
      # shellcheck disable=SC2053
      [[ "$(xdotool getwindowname "$found")" == $3 ]] && window=$found
    done
    if [ -n "$window" ] && ps --ppid "$1" -o comm= | grep -q ffgl-worker; then
      xdotool windowfocus "$window" && sleep 3 && echo "$window" && return
    fi
    kill -0 "$1" 2>/dev/null || fail "the editor ended: $(tail -5 "$4")"
    sleep 0.5
  done
  fail "no window '$3' with a worker after 60 s: $(tail -5 "$4")"
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
    ref clip clip $N 25 0 "${PARAMS_SET[@]}" ;;
  ffmpeg_picture)  # through a pipe, as `ffmpeg ... - | next` runs
    "${FF[@]}" -loop 1 -i pic.png -frames:v $N -vf format=rgba,frei0r=quellix_shine \
      -f rawvideo -pix_fmt rgba - | cat >ff_pic.rgba
    same ref_pic.rgba ff_pic.rgba "ffmpeg, picture"; visible in_pic.rgba ff_pic.rgba ;;
  ffmpeg_clip)
    "${FF[@]}" -i clip.mkv -vf "format=rgba,frei0r=quellix_shine:$PARAMS_FF" -f rawvideo \
      -pix_fmt rgba ff_clip.rgba
    same ref_clip.rgba ff_clip.rgba "ffmpeg, clip"; visible in_clip.rgba ff_clip.rgba ;;
  ffmpeg_clamped)  # values beyond 0..1 are clamped
    ref clamp pic.png 2 25 0 --set "Flare X=1" --set "Flare Y=0"
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
  melt_time)  # a frame's look is set by its time alone
    "${FF[@]}" -i pic.png -vf scale=160:120 small.png
    project whole.mlt 25 0-507 && melt_xml whole.mlt whole.rgba
    project part.mlt 25 500-507 && melt_xml part.mlt part.rgba
    cut whole.rgba whole_500.rgba {500..507}
    same whole_500.rgba part.rgba "frames 500 to 507 alone and in the whole render"
    project seek.mlt 25 "0-3 300-300" && melt_xml seek.mlt seek.rgba
    cut whole.rgba whole_seek.rgba 0 1 2 3 300
    same whole_seek.rgba seek.rgba "frames 0 to 3, then 300 after a seek"
    project fast.mlt 50 0-14 && melt_xml fast.mlt fast.rgba
    cut fast.rgba fast_even.rgba 0 2 4 6 8 10 12 14
    cut whole.rgba whole_8.rgba {0..7}
    same whole_8.rgba fast_even.rgba "25 fps frames 0 to 7 and 50 fps frames 0 to 14 by two"
    ref small small.png 1 25 500
    cut whole.rgba whole_one.rgba 500
    same ref_small.rgba whole_one.rgba "melt's frame 500 and ffgl-host's at 20 s"
    # frames 15000, 14999, 14998 (10 minutes in) cost no more than the same forward
    project back.mlt 25 "15000-15000 14999-14999 14998-14998"
    project ahead.mlt 25 "14998-14998 14999-14999 15000-15000"
    # the faster of two runs each, as other work on the machine slows either
    ahead=$(seconds melt_xml ahead.mlt ahead.rgba) back=$(seconds melt_xml back.mlt back.rgba)
    ahead=$(echo "a = $(seconds melt_xml ahead.mlt ahead.rgba); if (a < $ahead) a else $ahead" | bc)
    back=$(echo "b = $(seconds melt_xml back.mlt back.rgba); if (b < $back) b else $back" | bc)
    echo "frames 14998 to 15000: forward $ahead s, backward $back s"
    cut back.rgba back_reversed.rgba 2 1 0
    same ahead.rgba back_reversed.rgba "frames 14998 to 15000 backward and forward"
    [ "$(echo "$back <= 1.2 * $ahead + 0.2" | bc)" = 1 ] || fail "backward took $back s" ;;
  melt_keyframes)  # keyframes by the parameter's name and by its index
    "${FF[@]}" -i pic.png -vf scale=160:120 small.png
    project by_name.mlt 25 0-7 "Flare X=0=0.2;7=0.8" && melt_xml by_name.mlt by_name.rgba
    project by_index.mlt 25 0-7 "0=0=0.2;7=0.8" && melt_xml by_index.mlt by_index.rgba
    same by_name.rgba by_index.rgba "keyframes by name and by index"
    ref first small.png 1 25 0 --set "Flare X=0.2"
    ref last small.png 1 25 7 --set "Flare X=0.8"
    cut by_name.rgba ends.rgba 0 7 && cat ref_first.rgba ref_last.rgba >ref_ends.rgba
    same ref_ends.rgba ends.rgba "keyframed frames 0 and 7" ;;
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
    # Each passes every frame through unchanged and says why once.
    for state in missing not_a_plugin; do
      FREI0R_PATH="$WORK/moved_mods" "${FF[@]}" -loop 1 -i pic.png -frames:v 4 \
        -vf format=rgba,frei0r=hostile -f rawvideo -pix_fmt rgba "out_$state.rgba" 2>"err_$state"
      echo "$state:"; only_line "err_$state" 'hostile_copy.so.*frames pass through unchanged' hostile
      same in4.rgba "out_$state.rgba" "$state plug-in, passed through"
      cp "$NO_ENTRY" moved/hostile_copy.so
    done
    # melt too, where a null instance used to leave its output unwritten
    rm moved/hostile_copy.so
    FREI0R_PATH="$WORK/moved_mods" melt -quiet -profile "$WORK/profile" pic.png out=3 \
      -attach frei0r.hostile -consumer avformat:melt_moved.rgba f=rawvideo vcodec=rawvideo \
      pix_fmt=rgba an=1 2>err_melt_moved
    only_line err_melt_moved 'moved or removed' hostile
    same in4.rgba melt_moved.rgba "melt, plug-in moved away, passed through"
    "${FF[@]}" -f lavfi -i color=size=16400x16 -frames:v 1 -vf format=rgba,frei0r=quellix_shine \
      -f null - 2>err_size
    only_line err_size 'a frame of 16400x16 cannot be drawn' quellix_shine
    __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent "${FF[@]}" -loop 1 -i pic.png -frames:v 4 \
      -vf format=rgba,frei0r=quellix_shine -f rawvideo -pix_fmt rgba no_gl.rgba 2>err_gl
    echo "no GL:"; only_line err_gl 'OpenGL.*pass through unchanged' quellix_shine
    same in4.rgba no_gl.rgba "no GL, passed through" ;;
  kdenlive|shotcut)  # the editor opens its own project holding the flare with keyframed
    # values (Flare X from 0.2 to 0.8; Intensity 1.7, clamped to 1); it renders it as
    # ffgl-host draws it. Under Xvfb, where a screenshot of each is kept.
    ref first clip 1 25 0 "${EDITOR_SET[@]}" --set "Flare X=0.2"
    ref last clip 1 25 7 "${EDITOR_SET[@]}" --set "Flare X=0.8"
    cat ref_first.rgba ref_last.rgba >ref_editor.rgba
    rm -rf "$1_home" && mkdir -p "$1_home/.config" "$1_home/.local/share/kdenlive/effects"
    export HOME="$WORK/$1_home" XDG_CONFIG_HOME="$WORK/$1_home/.config" \
      XDG_DATA_HOME="$WORK/$1_home/.local/share"
    if [ "$1" = kdenlive ]; then
      printf '[version]\nversion=22.12.3\n' >"$XDG_CONFIG_HOME/kdenliverc"  # no first-start wizard
      cp mods/kdenlive/frei0r_quellix_shine.xml "$XDG_DATA_HOME/kdenlive/effects/"
      editor_project "Flare X" >project.kdenlive
      xvfb-run -a -s "-screen 0 1600x900x24" dbus-run-session "$0" kdenlive_gui
      editor_project "Flare X" \
        '<consumer mlt_service="avformat" target="kd.rgba" f="rawvideo" vcodec="rawvideo" pix_fmt="rgba" an="1"/>' \
        >render.mlt
      QT_QPA_PLATFORM=offscreen kdenlive_render /usr/bin/melt-7 render.mlt kd.rgba -out 7 \
        >/dev/null 2>&1 || fail "kdenlive_render failed"
      FRAME=307200 cut kd.rgba editor.rgba 0 7
    else
      # Shotcut reads its filters from share/shotcut/qml beside its program: a copy of it
      # with the installed files linked and the module's filter folder added.
      rm -rf shotcut_app && mkdir -p shotcut_app/bin shotcut_app/share/shotcut/qml/filters
      cp /usr/bin/shotcut shotcut_app/bin/
      for e in /usr/share/shotcut/* /usr/share/shotcut/qml/* /usr/share/shotcut/qml/filters/*; do
        [ -e "shotcut_app/share/shotcut${e#/usr/share/shotcut}" ] ||
          ln -s "$e" "shotcut_app/share/shotcut${e#/usr/share/shotcut}"
      done
      cp -r mods/shotcut/quellix_shine shotcut_app/share/shotcut/qml/filters/
      editor_project 0 >project.mlt
      xvfb-run -a -s "-screen 0 1600x900x24" "$0" shotcut_gui
      melt_xml project.mlt sc.rgba 2>/dev/null
      FRAME=307200 cut sc.rgba editor.rgba 0 7
    fi
    same ref_editor.rgba editor.rgba "$1's project rendered, frames 0 and 7" ;;
  kdenlive_gui)  # in Xvfb: Kdenlive's window with the clip selected and its effects shown
    kdenlive project.kdenlive >kdenlive.log 2>&1 &
    editor=$!
    window=$(await_editor $editor kdenlive "*$(printf '\xe2\x80\x94') Kdenlive" kdenlive.log)
    xdotool windowsize "$window" 1600 900 windowmove "$window" 0 0 && sleep 2
    xdotool mousemove 1413 883 click 1 sleep 2 mousemove 600 700 click 1 sleep 2  # fit, select
    xdotool mousemove 466 311 mousedown 1 mousemove 820 311 mouseup 1 sleep 4  # wider panel
    import -window "$window" kdenlive.png
    kill -KILL $editor  # it ignores SIGTERM; its workers end with it
    ! grep 'plugin not available' kdenlive.log | grep -q quellix || fail "Kdenlive lacks the filter"
    echo "Kdenlive: no 'plugin not available' for the filter; a worker ran" ;;
  shotcut_gui)  # in Xvfb: Shotcut's window with the clip selected and its filters shown
    shotcut_app/bin/shotcut --noupgrade project.mlt >shotcut.log 2>&1 &
    editor=$!
    window=$(await_editor $editor shotcut '*project.mlt*' shotcut.log)
    xdotool mousemove 933 454 click 1 sleep 2 mousemove 103 397 click 1 sleep 1  # fit, filters
    xdotool mousemove 250 580 click 1 sleep 4  # select the clip
    import -window "$window" shotcut.png
    kill -KILL $editor  # it would wait on the project
    grep -q 'added filter "Quellix Shine"' shotcut.log || fail "Shotcut did not add the filter"
    ! grep -E 'quellix_shine/(meta|ui)\.qml' shotcut.log | grep -v 'reading filter metadata' ||
      fail "QML warnings"
    echo "Shotcut: added filter \"Quellix Shine\", no QML warning; a worker ran" ;;
  described)  # the module describes its plug-in without starting anything
    strace -f -qq -e trace=execve -o trace_melt melt -query filters >/dev/null 2>&1
    strace -f -qq -e trace=execve -o trace_gst gst-inspect-1.0 frei0r-filter-quellix-shine \
      >inspect_shine 2>&1
    grep -q 'Intensity' inspect_shine || fail "gst-inspect-1.0 did not describe the plug-in"
    for trace in trace_melt trace_gst; do
      echo "$trace: $(grep -c 'execve(' "$trace") programs started"
      ! grep 'execve(' "$trace" | grep -q ffgl-worker || fail "$trace: a worker was started"
    done
    # a plug-in changed since the module was written: said once, at the first frame
    mkdir -p changed changed_mods && cp "$QUELLIX" changed/copy.so
    "$FFGL_HOST" frei0r changed/copy.so --out changed_mods >/dev/null
    touch -d 2020-01-01 changed/copy.so
    FREI0R_PATH="$WORK/changed_mods" "${FF[@]}" -loop 1 -i pic.png -frames:v $N \
      -vf format=rgba,frei0r=quellix_shine -f rawvideo -pix_fmt rgba changed.rgba 2>err_touched
    only_line err_touched 'changed since .*modified .*2020-01-01.*description is the same' quellix_shine
    same ref_pic.rgba changed.rgba "a plug-in touched since"
    cp "$HOSTILE" changed/copy.so
    FREI0R_PATH="$WORK/changed_mods" "${FF[@]}" -loop 1 -i pic.png -frames:v 2 \
      -vf format=rgba,frei0r=quellix_shine -f null - 2>err_replaced
    only_line err_replaced 'changed since .*size .*described again, named ' quellix_shine ;;
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
