#!/usr/bin/env bash
# Regenerates the fuzz targets' seed inputs in tests/fuzz/corpus/<target>/ from our own simulator:
# short recordings of make-sample, the record stream cut out of their pages, the bytes `serve`
# sends a client, its replies to logins and lookups, the packets a client sends, and a settings
# profile. Inputs named crash-* (regression inputs of fixed crashes) are kept.
#
#   tests/fuzz/make_corpus.sh [path/to/tamlorex-sim]     (default build/release/tamlorex-sim)
set -euo pipefail
cd "$(dirname "$0")"
sim="${1:-../../build/release/tamlorex-sim}"
[ -x "$sim" ] || { echo "make_corpus.sh: no simulator at $sim (make build first)" >&2; exit 2; }
sim="$(cd "$(dirname "$sim")" && pwd)/$(basename "$sim")"
corpus="$PWD/corpus"
work="$(mktemp -d)"
sim_pids=()
cleanup() {
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

targets=(vvf_reader picture_decoder stream_parser control_packets ini_file sim_client)
for t in "${targets[@]}"; do
  mkdir -p "$corpus/$t"
  find "$corpus/$t" -type f ! -name 'crash-*' -delete
done

# Bytes written as printf escapes.
put() { printf "$@"; }
# A 16-bit number as the control packets write it: four upper-case hexadecimal digits.
hex4() { printf '%04X' "$1"; }
# A control packet: 00 00 01 FE, length, code, then the given fields.
packet() {
  local code=$1; shift
  put '\x00\x00\x01\xfe'
  hex4 $((12 + 4 * $#))
  hex4 "$code"
  for f in "$@"; do hex4 "$f"; done
}
login() {
  local digest
  digest=$(printf '%s' "$1" | md5sum | cut -c1-32 | tr a-f A-F)
  put '\x00\x00\x01\xfe'; hex4 44; hex4 0x81; printf '%s' "$digest"
}
# The page bodies of pages [first, first + count) of a recording: its record stream.
bodies() {
  local file=$1 first=$2 count=$3 p
  for ((p = first; p < first + count; ++p)); do
    dd if="$file" bs=4096 skip="$p" count=1 status=none | tail -c 4088
  done
}
# Starts `serve` with the given options; sets port (and ddns_port when asked for).
serve() {
  local log="$work/serve-$RANDOM.log"
  "$sim" serve --port 0 --seconds 8 --password 1234 "$@" >"$log" 2>&1 &
  sim_pids+=($!)
  for _ in $(seq 100); do
    grep -q listening "$log" && break
    sleep 0.05
  done
  port=$(sed -n 's/.*"listening":\([0-9]*\).*/\1/p' "$log" | head -1)
  ddns_port=$(sed -n 's/.*"ddns":\([0-9]*\).*/\1/p' "$log" | head -1)
  [ -n "$port" ] || { echo "make_corpus.sh: serve did not start" >&2; cat "$log" >&2; exit 1; }
}
# Sends stdin to 127.0.0.1:$1 and keeps at most $2 bytes of the answer, read for $3 seconds.
exchange() {
  local port=$1 limit=$2 seconds=$3 out=$work/answer
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  cat >&3
  timeout "$seconds" head -c "$limit" <&3 >"$out" || true
  exec 3<&- 3>&-
  cat "$out"
}

# --- Recordings: one per header layout and byte order, short and coarse, so that each is small.
for m in 0 2 4 5 6; do
  channels=2
  [ "$m" = 2 ] && channels=1
  "$sim" make-sample "$work/m$m.vvf" --channels "$channels" --seconds 1 --model "$m" --quantiser 12 >/dev/null
done
"$sim" make-sample "$work/tall.vvf" --channels 2 --seconds 1 --model 4 --quantiser 12 --height 272 >/dev/null

# vvf_reader: flags (model, drive), seek target, span start and length, direction mix, file.
reader_seed() {  # name flags seek(8 bytes, escapes) file
  { put "$2"; put "$3"; put '\x00\x10\x00\x00\x80\x00\x5a'; cat "$4"; } >"$corpus/vvf_reader/$1"
}
for m in 0 2 4 5 6; do
  reader_seed "model$m" "\\x0$m" '\x00\x30\x00\x00\x00\x00\x00\x00' "$work/m$m.vvf"
done
dd if="$work/m4.vvf" of="$work/m4-drive.vvf" conv=swab status=none
reader_seed drive4 '\x14' '\x00\x50\x00\x00\x00\x00\x00\x00' "$work/m4-drive.vvf"
head -c 10000 "$work/tall.vvf" >"$work/tall-cut.vvf"
reader_seed tall-cut '\x04' '\x10\x20\x00\x00\x00\x00\x00\x00' "$work/tall-cut.vvf"

# picture_decoder: model (and the scalar transform too), formats to convert to, then records as a reader delivers them.
decoder_seed() {  # name model formats file pages
  { put "$2"; put "$3"; bodies "$4" 0 "$5"; } >"$corpus/picture_decoder/$1"
}
decoder_seed model0 '\x00' '\x81' "$work/m0.vvf" 6
decoder_seed model2 '\x02' '\x42' "$work/m2.vvf" 6
decoder_seed model4 '\x84' '\x24' "$work/m4.vvf" 8
decoder_seed model5 '\x85' '\x18' "$work/m5.vvf" 9
decoder_seed model6 '\x06' '\x01' "$work/m6.vvf" 9
decoder_seed tall4 '\x04' '\xff' "$work/tall.vvf" 8

# stream_parser and control_packets: what `serve` sends a client that logs in.
serve --channels 2 --quantiser 12 --fps 10
login 1234 | exchange "$port" 60000 2.5 >"$work/live"
{ put '\xff\xff\xff\xff\xff\xff\xff\xff'; cat "$work/live"; } >"$corpus/stream_parser/live-one-read"
{ put '\x01\x07\x0d\x40\x00\x81\xc8\x03'; head -c 40000 "$work/live"; } >"$corpus/stream_parser/live-small-reads"
head -c 12 "$work/live" >"$corpus/control_packets/login-accepted"
serve --model 0 --height 272 --quantiser 12 --fps 10 --wait-ms 300
login 1234 | exchange "$port" 40000 2 >"$work/live-wait"
{ put '\xff\x10\xff\x03\xff\xff\xff\xff'; cat "$work/live-wait"; } >"$corpus/stream_parser/live-wait-alaw"
head -c 12 "$work/live-wait" >"$corpus/control_packets/login-wait"
# The status messages inside the stream.
grep -aob $'\x01\xfe' "$work/live" | head -3 | while IFS=: read -r at _; do
  dd if="$work/live" bs=1 skip=$((at - 2)) count=32 status=none
done >"$corpus/control_packets/stream-messages"

# Refusals: a wrong password, and a second client while one is online.
serve
login wrong | exchange "$port" 64 1 >"$corpus/control_packets/login-refused"
exec 4<>"/dev/tcp/127.0.0.1/$port"
login 1234 >&4
sleep 0.2
login 1234 | exchange "$port" 64 1 >"$corpus/control_packets/login-busy"
exec 4<&- 4>&-

# Lookups: the answer for the known name, and for another one.
serve --ddns-port 0 --name DVR000
put '\x55\xaa\x55\xaaDVR000\x00\x00' | exchange "$ddns_port" 64 1 >"$corpus/control_packets/lookup-reply"
put '\x55\xaa\x55\xaaDVR000\x00\x00' >"$corpus/control_packets/lookup-request"
put '\x55\xaa\x55\xaaOTHER\x00\x00\x00' | exchange "$ddns_port" 64 1 >"$corpus/control_packets/lookup-unknown"

# The packets a client sends.
login 1234 >"$corpus/control_packets/login"
{ packet 0x85 0x15; packet 0x89 0x101 640 224 320 112; packet 0x86; } >"$corpus/control_packets/key-mouse-logout"

# sim_client: cameras and encoding, read sizes, then a session: login, keys, mouse, logout.
keys() { for k in "$@"; do packet 0x85 "$k"; done; }
{ put '\x13\xff\xff\xff\xff'; login 1234; keys 0x15 0x0c 0x0d 0x0e 0x0f 0x06 0x84 0x03
  packet 0x89 0x101 640 224 320 112; packet 0x89 0x100 1 1 65535 65535; packet 0x86; } >"$corpus/sim_client/session"
{ put '\x08\x05\x01\x40\x0b'; put 'noise\x00\x00'; login 1234; put '\x00\x00\x01\xfe0008'
  keys 0x0c 0x0f 0x0c 0x0d 0x0d 0x0f 0x0f; put '\x00\x00\x01\xfeFFFF0085'; head -c 300 /dev/zero
  packet 0x89 0x101 0 0 100 100; packet 0x33 1 2; } >"$corpus/sim_client/junk-and-split-reads"
{ put '\x03\xff\xff\xff\xff'; login wrong; keys 0x01; } >"$corpus/sim_client/wrong-password"

# ini_file: a settings profile as the viewer writes it, and a damaged one.
cat >"$corpus/ini_file/settings.INI" <<'EOF'
[Tamlorex Viewer]
Show Time=1
Time Format=0
AlwaysOnTop=0
Repeat=1
Use DDraw=1
Capture Path=/home/user/Capture
Local Recording Path="/home/user/Local Recording"
Volume=80
Mute=0
IP Address=192.168.1.20
Port=8841
Timeout=7
Auto Reconnection=1
DynamicIp=0
Ddns Ip=127.0.0.1
Ddns Port=1800
DvrName=DVR000
Video Width=640
Video Height=448
EOF
printf '; written by hand\r\n[ Tamlorex Viewer ]\r\n  port = -0012x\r\nvolume=99999999999\r\n[Other\r\nkey=\x27quoted\x27\r\n=no key\r\n[]\r\nshow time\r\n' \
  >"$corpus/ini_file/damaged.INI"

du -sh "$corpus"
for t in "${targets[@]}"; do echo "$t: $(ls "$corpus/$t" | wc -l) inputs, $(du -sk "$corpus/$t" | cut -f1) KiB"; done
