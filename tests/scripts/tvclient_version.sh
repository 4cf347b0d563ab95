#!/bin/sh
# scripts/tvclient, pointed at the stand-in with TVCLIENT_SERVICE, sends
# exactly the version request line first; with a wrong version it ends with
# exit code 0 after its message. Usage: tvclient_version.sh tvservice-program
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
tvservice="$1"
work=$(mktemp -d)
trap '"$root/scripts/start-standin" --stop "$work"; rm -rf "$work"' EXIT

address=$("$root/scripts/start-standin" "$work" "$tvservice") || exit 2
port=${address#*:}
expected="GET http://127.0.0.1:$port/socket_server/server.php?input=version\\x0d\\x0a"

# The wrong version: the client shows its message; close it as a person would.
echo "version=wrong_version" > "$work/faults"
(cd / && TVCLIENT_SERVICE="127.0.0.1:$port" timeout 60 "$root/scripts/tvclient") &
client=$!
found=""
i=0
while [ $i -lt 300 ] && kill -0 $client 2>/dev/null; do
    w=""
    for c in $(xdotool search --class tvclient.exe 2>/dev/null); do
        [ "$(xdotool getwindowname "$c" 2>/dev/null)" = "внимание!!!" ] && w=$c
    done
    if [ -n "$w" ]; then
        found=yes
        xdotool windowactivate --sync "$w" key Return 2>/dev/null || xdotool key --window "$w" Return
        break
    fi
    sleep 0.1
    i=$((i + 1))
done
wait $client
rc=$?
first=$(head -1 "$work/requests.log")
if [ "$first" != "$expected" ]; then
    echo "FAIL: the first request line was: $first"
    echo "      expected:                  $expected"
    exit 1
fi
if [ -z "$found" ]; then
    echo "FAIL: no version message appeared"
    exit 1
fi
if [ $rc -ne 0 ]; then
    echo "FAIL: the client ended with exit code $rc after the version message"
    exit 1
fi
echo "PASS: scripts/tvclient sent exactly the version request line and ended with code 0"
