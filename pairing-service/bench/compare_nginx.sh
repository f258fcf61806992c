#!/bin/sh
# The status poll of korvella-pairing next to nginx serving a static file of the same size, each
# pinned to the same core and loaded by wrk (8 keep-alive connections) from another core.
# Needs wrk, nginx (nginx-light is enough) and curl; runs everything in the foreground on
# loopback and stops only what it started.
#
#   pairing-service/bench/compare_nginx.sh [korvella-pairing binary] [seconds] [core]
set -eu
server=${1:-build/pairing-service/korvella-pairing}
seconds=${2:-10}
core=${3:-1}
load_core=$(( core == 0 ? 1 : 0 ))
dir=$(mktemp -d)
chmod 755 "$dir" # nginx workers run as an unprivileged user
pids=
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_for() {
    i=0
    until curl -s -o /dev/null "$1"; do
        i=$((i + 1)); [ $i -lt 100 ] || { echo "nothing answers at $1" >&2; exit 1; }
        sleep 0.1
    done
}
# Requests per second and the 99th percentile latency, as wrk reports them.
measure() {
    taskset -c "$load_core" wrk -t1 -c8 -d"${seconds}s" --latency "$1" >"$dir/wrk.txt"
    rate=$(awk '/Requests\/sec/ {print $2}' "$dir/wrk.txt")
    p99=$(awk '$1 == "99%" {print $2}' "$dir/wrk.txt")
    errors=$(awk '/Non-2xx|Socket errors/' "$dir/wrk.txt")
    [ -z "$errors" ] || { echo "$errors" >&2; exit 1; }
}

pairing_port=$(free_port)
KORVELLA_PAIRING_PORT=$pairing_port KORVELLA_PAIRING_DATABASE="sqlite:$dir/pairing.sqlite" \
    KORVELLA_PAIRING_UPDATES=off KORVELLA_PAIRING_STATUS_RATE=0 \
    taskset -c "$core" "$server" 2>"$dir/pairing.log" &
pids="$pids $!"
wait_for "http://127.0.0.1:$pairing_port/api/health"
code=$(curl -s -X POST "http://127.0.0.1:$pairing_port/api/create_pairing.php" |
    sed 's/.*"code":"\([^"]*\)".*/\1/')
status_url="http://127.0.0.1:$pairing_port/api/pairing_status.php?code=$code"
curl -s "$status_url" >"$dir/status.json"
chmod 644 "$dir/status.json"

nginx_port=$(free_port)
cat >"$dir/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/nginx.log;
events {}
http {
    access_log off;
    client_body_temp_path $dir;
    proxy_temp_path $dir;
    fastcgi_temp_path $dir;
    uwsgi_temp_path $dir;
    scgi_temp_path $dir;
    server {
        listen 127.0.0.1:$nginx_port;
        root $dir;
        default_type application/json;
    }
}
CONF
taskset -c "$core" nginx -e "$dir/nginx.log" -p "$dir" -c "$dir/nginx.conf" &
pids="$pids $!"
wait_for "http://127.0.0.1:$nginx_port/status.json"

measure "$status_url"
pairing_rate=$rate pairing_p99=$p99
measure "http://127.0.0.1:$nginx_port/status.json"
echo "reply: $(wc -c <"$dir/status.json") bytes, wrk -c8 for ${seconds} s, both on core $core"
echo "korvella-pairing status: $pairing_rate requests/s, p99 $pairing_p99"
echo "nginx static file:       $rate requests/s, p99 $p99"
awk -v a="$pairing_rate" -v b="$rate" 'BEGIN { printf "ratio: %.2fx\n", a / b }'
