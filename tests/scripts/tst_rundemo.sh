#!/usr/bin/env bash
# run-demo refuses a second start and touches nothing of the running demo; without a display it
# says what to do instead of waiting on a window nobody sees. Runs a copy of the scripts in a
# folder of its own, so no port or file of a real demo is involved.
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/tree/build/bin"
cp -r "$source_dir/scripts" "$work/tree/"
cd "$work/tree"
printf 'line %s\n' $(seq 232) >build/bin/recorder-emulator.log
before=$(md5sum build/bin/recorder-emulator.log)

# The running demo holds the lock for as long as it runs.
exec 8>build/.run-demo.lock
flock -n 8 || fail "could not take the lock"

out=$(DISPLAY=:0 ./scripts/run-demo 2>&1); code=$?
[ "$code" -eq 1 ] || fail "second run-demo exited $code: $out"
grep -q "already running" <<<"$out" || fail "no clear refusal: $out"
[ "$(md5sum build/bin/recorder-emulator.log)" = "$before" ] || fail "the running demo's log changed"
[ -z "$(ls build/bin | grep -v recorder-emulator.log)" ] || fail "second run-demo built or wrote files"

exec 8>&-
out=$(env -u DISPLAY ./scripts/run-demo 2>&1); code=$?
[ "$code" -eq 2 ] || fail "run-demo without a display exited $code: $out"
grep -q "no display" <<<"$out" || fail "no display not explained: $out"
grep -q "screenshot-tour" <<<"$out" || fail "no headless path offered: $out"
echo "PASS"
