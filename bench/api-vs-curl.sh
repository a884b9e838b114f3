#!/usr/bin/env bash
# Our Digest GET of the relay command against curl's on the same panel: panel-sim serves its API
# with Digest on 127.0.0.4:80 (root: port 80), and each client makes 50 requests.
# curl is timed two ways: one process per request (what a script would do; process start
# included), and one process for all 50 (its best case: one connection reused), while our
# client opens a connection per request as the program does. Goal: ours within 1.2x of curl's.
# Usage: bench/api-vs-curl.sh
set -euo pipefail
cd "$(dirname "$0")/.."
address=127.0.0.4
url="http://$address/api/remote/?pl=%7b%22code%22%3a%221234%22%7d"
cmake --preset bench >/dev/null
cmake --build --preset bench --target bench_api_relay panel-sim >/dev/null
build/bench/tools/panel-sim/panel-sim serve --api 80 --bind "$address" --auth digest \
  --login admin --password door --no-discovery --requests /dev/null >/dev/null 2>&1 &
panel=$!
trap 'kill $panel 2>/dev/null || true' EXIT
for _ in $(seq 50); do curl -s -o /dev/null "$url" 2>/dev/null && break; sleep 0.1; done

start=$(date +%s%N)
for _ in $(seq 50); do curl -s -o /dev/null --digest -u admin:door "$url"; done
per_process=$((($(date +%s%N) - start) / 50000))
urls=()
for _ in $(seq 50); do urls+=("$url"); done
start=$(date +%s%N)
curl -s --digest -u admin:door "${urls[@]}" >/dev/null
one_process=$((($(date +%s%N) - start) / 50000))

ours=$(OSTREL_API_PEER=$address build/bench/bench/bench_api_relay \
  --benchmark_filter=DigestGetWallTime --benchmark_format=json 2>/dev/null |
  sed -n 's/.*"mean_ms": *\([0-9.e+-]*\).*/\1/p')
echo "curl, one process per request: ${per_process} us per request"
echo "curl, one process, connection reused: ${one_process} us per request"
echo "ours (bench_api_relay DigestGetWallTime, mean_ms): ${ours} ms per request"
