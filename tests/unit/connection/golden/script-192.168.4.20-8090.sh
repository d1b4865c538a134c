export LC_ALL=C
child=''
cleanup() {
  trap '' HUP INT TERM
  if [ -n "$child" ]; then
    kill -INT "$child" 2>/dev/null || true
    for ((i=0; i<40; i++)); do
      kill -0 "$child" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$child" 2>/dev/null; then
      kill -TERM "$child" 2>/dev/null || true
      sleep 1
      kill -KILL "$child" 2>/dev/null || true
    fi
    wait "$child" 2>/dev/null || true
  fi
  printf 'VL_STOPPED\n'
}
trap cleanup EXIT
trap 'exit 0' HUP INT TERM
command -v ffmpeg >/dev/null 2>&1 || { echo 'ffmpeg is not installed on the Steam Frame.' >&2; exit 1; }
[ -r /dev/video99 ] || { echo 'Cannot read /dev/video99. Enable the headset camera stream and check device permissions.' >&2; exit 1; }
ffmpeg -nostdin \
  -f v4l2 -framerate 20 -thread_queue_size 1024 -i /dev/video99 \
  -map 0:v -an -c:v libx264 -preset ultrafast -tune zerolatency \
  -pix_fmt yuv420p -r 30 -g 30 -keyint_min 30 -sc_threshold 0 \
  -x264-params repeat-headers=1:aud=1 \
  -loglevel error -hide_banner -flush_packets 1 -muxdelay 0 \
  -f mpegts 'udp://192.168.4.20:8090?pkt_size=1316' &
child=$!
printf 'VL_STARTED\n'
deadline=$((SECONDS + 15))
while kill -0 "$child" 2>/dev/null; do
  if IFS= read -r -t 2 message; then
    [ "$message" = STOP ] && exit 0
    [ "$message" = PING ] && deadline=$((SECONDS + 15))
  else
    result=$?
    [ "$result" -le 128 ] && exit 0
  fi
  [ "$SECONDS" -ge "$deadline" ] && exit 0
done
wait "$child"
result=$?
child=''
[ "$result" -ne 0 ] || result=1
exit "$result"