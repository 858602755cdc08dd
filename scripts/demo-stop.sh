# shellcheck shell=bash
# Sourced by scripts/run and scripts/demo, which run with the same options.
set -euo pipefail

# Ends a child process of the calling shell: SIGTERM, then SIGKILL if it is still there after five
# seconds; then reaps it.
stop_process() {
    local state
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do
        state=$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' "/proc/$1/status" 2>/dev/null || true)
        if [ -z "$state" ] || [ "$state" = Z ]; then
            break
        fi
        sleep 0.1
    done
    kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
