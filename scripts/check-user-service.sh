#!/usr/bin/env bash
# Starts the installed package's systemd user unit under a user manager of
# its own and checks start, reload, restart after a crash and stop.
#
# Needs root and the package installed, or unpacked into the folder
# PACKAGE_ROOT (dpkg-deb -x), which is then laid over /usr in the namespace.
# On a machine booted without systemd
# (a container) the manager runs in a private mount namespace with systemd's
# "booted" marker, so nothing outside the namespace changes. When no user
# manager can run here, it says so and exits 0.
set -euo pipefail

unit=tidewell-episode-keeper.service

if [ "${1:-}" != inside ]; then
    if ! unshare --mount --propagation private true 2>/dev/null; then
        echo "User service check skipped: no private mount namespace can be made here."
        exit 0
    fi
    exec unshare --mount --propagation private --fork "$0" inside
fi

if [ -n "${PACKAGE_ROOT:-}" ]; then
    mount -t overlay overlay -o "lowerdir=$PACKAGE_ROOT/usr:/usr" /usr
fi
work=$(mktemp -d)
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME/Desktop" "$XDG_RUNTIME_DIR" "$HOME/.config/systemd/user/$unit.d"
chmod 700 "$XDG_RUNTIME_DIR"
if [ ! -d /run/systemd/system ]; then
    mount -t tmpfs tmpfs /run/systemd
    mkdir /run/systemd/system
fi
# The service's output, to look at; no journal runs here.
log=$work/service.log
printf '[Service]\nStandardOutput=append:%s\nStandardError=append:%s\n' "$log" "$log" \
    >"$HOME/.config/systemd/user/$unit.d/log.conf"

/usr/lib/systemd/systemd --user >"$work/manager.log" 2>&1 &
manager=$!
trap 'kill $manager 2>/dev/null; wait $manager 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    [ -S "$XDG_RUNTIME_DIR/systemd/private" ] && break
    kill -0 $manager 2>/dev/null || break
    sleep 0.1
done
if [ ! -S "$XDG_RUNTIME_DIR/systemd/private" ]; then
    echo "User service check skipped: no user manager could run here:"
    cat "$work/manager.log"
    exit 0
fi

fail() { echo "User service check failed: $*"; cat "$log" 2>/dev/null; exit 1; }
property() { systemctl --user show -P "$1" "$unit"; }
wait_for() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }

systemctl --user enable --now "$unit"
wait_for '[ "$(property ActiveState)" = active ] && grep -q "^Scheduling" "$log"' ||
    fail "the unit did not start the headless scheduler"
first=$(property MainPID)

# The unit's hardening, as systemd rates it: 7.0 ("MEDIUM") or better.
rating=$(systemd-analyze --user security --threshold=70 "$unit" | tail -n 1) ||
    fail "systemd-analyze rates the unit worse than 7.0: $rating"
echo "$rating"

systemctl --user reload "$unit"
wait_for 'grep -q "^Feed list read again" "$log"' || fail "reload did not read the feed list again"
[ "$(property MainPID)" = "$first" ] || fail "reload restarted the scheduler"

kill -KILL "$first"
wait_for '[ "$(property NRestarts)" = 1 ] && [ "$(property ActiveState)" = active ]' ||
    fail "the scheduler was not restarted after it was killed"

systemctl --user stop "$unit"
[ "$(property Result)" = success ] || fail "stopping ended in $(property Result)"
systemctl --user disable "$unit"
echo "The user unit started the headless scheduler, reloaded it, restarted it after a crash and stopped it."
