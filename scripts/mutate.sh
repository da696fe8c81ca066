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
# The work happens on a copy of the tracked files in a scratch folder, so the
# working tree is never changed, whatever ends the run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
list=$root/scripts/mutants.txt
keep=0
while getopts "l:k" opt; do
    case $opt in
        l) list=$OPTARG ;;
        k) keep=1 ;;
        *) sed -n '2,20p' "$0" >&2; exit 64 ;;
    esac
done
shift $((OPTIND - 1))
only=("$@")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/skyfault-mutate.XXXXXX")
cleanup() {
    [ "$keep" = 1 ] || rm -rf "$scratch"
    if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT

src=$scratch/src
mkdir -p "$src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$root" && xargs -0 cp --parents -t "$src")
jobs=$(nproc)

native=$scratch/build
win=$scratch/build-win
native_ready=0
win_ready=0

build_native() {
    if [ "$native_ready" = 0 ]; then
        cmake -S "$src" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \
            -DSKYFAULT_WERROR=OFF >/dev/null
        native_ready=1
    fi
    cmake --build "$native" -j "$jobs" >"$scratch/build.log" 2>&1
}

test_native() {
    ctest --test-dir "$native" -j "$jobs" -E '^e2e_sound$' --timeout 300 \
        >"$scratch/test.log" 2>&1
}

build_win() {
    if [ "$win_ready" = 0 ]; then
        cmake -S "$src" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
            -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
            -DSKYFAULT_WERROR=OFF >/dev/null
        export WINEPREFIX=$scratch/wineprefix
        # shellcheck source=/dev/null
        (cd "$src" && source scripts/wine-env.sh) >/dev/null
        win_ready=1
    fi
    cmake --build "$win" -j "$jobs" >"$scratch/build.log" 2>&1
}

test_win() {
    WINEPREFIX=$scratch/wineprefix WINEDEBUG=-all \
        ctest --test-dir "$win" -j "$jobs" --timeout 300 >"$scratch/test.log" 2>&1
}

wanted() {
    [ ${#only[@]} -eq 0 ] && return 0
    local n
    for n in "${only[@]}"; do [ "$n" = "$1" ] && return 0; done
    return 1
}

# Replaces the one place of TEXT in FILE by REPLACEMENT; fails when TEXT
# stands there not exactly once.
plant() {
    python3 - "$1" "$2" "$3" <<'EOF'
import sys
path, text, replacement = sys.argv[1:4]
with open(path, encoding="utf-8") as f:
    content = f.read()
count = content.count(text)
if count != 1:
    print(f"stands {count} times", file=sys.stderr)
    sys.exit(1)
with open(path, "w", encoding="utf-8") as f:
    f.write(content.replace(text, replacement))
EOF
}

echo "Baseline: building and testing the code as it is"
build_native || { echo "the native build fails without any fault planted" >&2; exit 1; }
test_native || { echo "the native suite fails without any fault planted" >&2; exit 1; }

total=0
caught=0
survivors=()
unusable=()
while IFS=$'\x1f' read -r -d '' name file text replacement; do
    wanted "$name" || continue
    total=$((total + 1))
    target=$src/$file
    if [ ! -f "$target" ]; then
        unusable+=("$name: no file $file")
        continue
    fi
    cp "$target" "$scratch/original"
    if ! plant "$target" "$text" "$replacement" 2>"$scratch/plant.log"; then
        unusable+=("$name: the text $(cat "$scratch/plant.log") in $file")
        continue
    fi
    side=native
    case $name:$file in win:* | *:ui/win32/* | *:app/win32/*) side=win ;; esac
    verdict=survived
    if ! "build_$side"; then
        verdict="caught (does not build)"
    elif ! "test_$side"; then
        verdict=caught
    fi
    cp "$scratch/original" "$target"
    # The restored file must not look older than its build products.
    touch "$target"
    if [ "$verdict" = survived ]; then
        survivors+=("$name")
    else
        caught=$((caught + 1))
    fi
    printf '%-40s %s\n' "$name" "$verdict"
done < <(python3 "$root/scripts/mutants.py" "$list")

echo
echo "Faults planted: $total; caught: $caught; survived: ${#survivors[@]}; unusable: ${#unusable[@]}"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
for u in "${unusable[@]}"; do echo "  unusable: $u"; done
[ ${#unusable[@]} -eq 0 ]
