#!/usr/bin/env bash
# Plants one fault at a time in the program's code and tells which of them
# no test noticed. Used by hand, not in CI: it rebuilds once per fault.
#
# Usage: scripts/mutate.sh [-l LIST] [-k] [NAME...]
#   -l LIST   the list of faults (default: scripts/mutants.txt)
#   -k        keep the scratch folder (default: removed at the end)
#   NAME...   only the faults with these names
#
# Each fault in the list is one line of four fields separated by " | ":
#   name | file | text | replacement
# The text must stand exactly once in the file; neither it nor the
# replacement may hold " | ". A fault whose file is under
# ui/win32/ or app/win32/, or whose name starts with "win:", is built with the
# Windows cross build and judged by its tests under Wine; every other one by
# the native build and its suite (the end-to-end sound test left out).
# Lines that are empty or start with "#" are skipped.
#
# Each fault gets a line with its verdict and the seconds its rebuild and
# tests took: "caught" (some test failed), "survived" (none did) or
# "unusable" (the text is not there exactly once, or the code no longer
# builds with the fault). Before the first fault of a build, the code as it
# is must build and pass there. The exit status is 0 when every fault could
# be used.
#
# The work happens on a copy of the source tree in a scratch folder (the files
# git tracks and the new ones it does not ignore), so the working tree is
# never changed, whatever ends the run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
list=$root/scripts/mutants.txt
keep=0
while getopts "l:k" opt; do
    case $opt in
        l) list=$OPTARG ;;
        k) keep=1 ;;
        *) sed -n '2,28p' "$0" >&2; exit 64 ;;
    esac
done
shift $((OPTIND - 1))
only=("$@")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/skyfault-mutate.XXXXXX")
wine_started=0
cleanup() {
    # Only the Wine server of this run's own prefix, and before its folder goes.
    if [ "$wine_started" = 1 ]; then wineserver -k >/dev/null 2>&1 || true; fi
    [ "$keep" = 1 ] || rm -rf "$scratch"
}
trap cleanup EXIT

src=$scratch/src
mkdir -p "$src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$root" && xargs -0 cp --parents -t "$src")
jobs=$(nproc)

native=$scratch/build
win=$scratch/build-win

configure_native() {
    cmake -S "$src" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \
        -DSKYFAULT_WERROR=OFF >/dev/null
}

build_native() {
    cmake --build "$native" -j "$jobs" >"$scratch/build.log" 2>&1
}

test_native() {
    ctest --test-dir "$native" -j "$jobs" -E '^e2e_sound$' --timeout 300 \
        >"$scratch/test.log" 2>&1
}

configure_win() {
    cmake -S "$src" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
        -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
        -DSKYFAULT_WERROR=OFF >/dev/null
    # A private prefix for this run; sourcing prepares it and starts its server.
    export WINEPREFIX=$scratch/wineprefix
    wine_started=1
    # shellcheck source=/dev/null
    source "$src/scripts/wine-env.sh" >/dev/null
}

build_win() {
    cmake --build "$win" -j "$jobs" >"$scratch/build.log" 2>&1
}

test_win() {
    # The server may have ended while a long build ran.
    skyfault_wine_start
    ctest --test-dir "$win" -j "$jobs" --timeout 300 >"$scratch/test.log" 2>&1
}

# The first fault of a side configures its build and checks that the code as
# it is builds and passes there, so that a failure is the fault's doing.
declare -A ready=()
prepare() {
    local side=$1
    [ -n "${ready[$side]:-}" ] && return 0
    echo "Baseline ($side): building and testing the code as it is"
    "configure_$side"
    if ! "build_$side"; then
        tail -n 30 "$scratch/build.log" >&2
        echo "the $side build fails without any fault planted" >&2
        exit 1
    fi
    if ! "test_$side"; then
        grep -E 'tests passed|Failed|\*\*\*' "$scratch/test.log" >&2 || true
        echo "the $side suite fails without any fault planted" >&2
        exit 1
    fi
    ready[$side]=1
}

declare -A seen=()
wanted() {
    [ ${#only[@]} -eq 0 ] && return 0
    local n
    for n in "${only[@]}"; do
        if [ "$n" = "$1" ]; then
            seen[$n]=1
            return 0
        fi
    done
    return 1
}

# Writes FILE with its one place of TEXT replaced by REPLACEMENT to OUT;
# fails when TEXT stands in FILE not exactly once.
plant() {
    python3 - "$@" <<'EOF'
import sys
path, out, text, replacement = sys.argv[1:5]
with open(path, encoding="utf-8", newline="") as f:
    content = f.read()
count = content.count(text)
if count != 1:
    print(f"stands {count} times", file=sys.stderr)
    sys.exit(1)
with open(out, "w", encoding="utf-8", newline="") as f:
    f.write(content.replace(text, replacement))
EOF
}

total=0
caught=0
survivors=()
unusable=()
# The list comes on descriptor 3: builds and tests get no standard input.
while IFS=$'\x1f' read -r -u 3 -d '' name file text replacement; do
    wanted "$name" || continue
    total=$((total + 1))
    target=$src/$file
    if [ ! -f "$target" ]; then
        unusable+=("$name: no file $file")
        continue
    fi
    if ! plant "$target" "$scratch/planted" "$text" "$replacement" 2>"$scratch/plant.log"; then
        unusable+=("$name: the text $(cat "$scratch/plant.log") in $file")
        continue
    fi
    side=native
    case $name:$file in win:* | *:ui/win32/* | *:app/win32/*) side=win ;; esac
    prepare "$side" </dev/null
    cp "$target" "$scratch/original"
    cp "$scratch/planted" "$target"
    started=$SECONDS
    verdict=survived
    if ! "build_$side" </dev/null; then
        verdict="unusable (does not build)"
    elif ! "test_$side" </dev/null; then
        verdict=caught
    fi
    cp "$scratch/original" "$target"
    # The restored file must not look older than its build products.
    touch "$target"
    case $verdict in
        survived) survivors+=("$name") ;;
        caught) caught=$((caught + 1)) ;;
        *) unusable+=("$name: does not build with the fault planted") ;;
    esac
    printf '%-48s %-8s %4d s\n' "$name" "${verdict%% *}" $((SECONDS - started))
done 3< <(python3 "$root/scripts/mutants.py" "$list")
for n in "${only[@]}"; do
    [ -n "${seen[$n]:-}" ] || unusable+=("$n: no such fault in $list")
done

echo
echo "Faults: $total; caught: $caught; survived: ${#survivors[@]}; unusable: ${#unusable[@]}"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
for u in "${unusable[@]}"; do echo "  unusable: $u"; done
[ ${#unusable[@]} -eq 0 ]
