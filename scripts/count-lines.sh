#!/usr/bin/env bash
# Counts the lines of code of the program and of its tests, and the tests'
# share: lines of the tracked .cpp, .h, .sh and .py files that are neither
# blank nor only a comment. The program is settings/, link/, engine/, ui/,
# app/ and sim/; the tests are tests/ (with tests/support/). bench/ and fuzz/
# count as neither.
# Usage: scripts/count-lines.sh [-v]   (-v: each test file too)
set -euo pipefail
cd "$(dirname "$0")/.."

code_lines() {
    git ls-files -z -- "$@" | grep -zE '\.(cpp|h|sh|py)$' | xargs -0 -r cat |
        grep -cvE '^[[:space:]]*$|^[[:space:]]*(//|/\*|\*|#$|#[^a-z!])' || true
}

program=$(code_lines settings link engine ui app sim)
tests=$(code_lines tests)
if [ "${1:-}" = -v ]; then
    git ls-files -- tests | grep -E '\.(cpp|h|sh|py)$' | while read -r f; do
        printf '%6d  %s\n' "$(code_lines "$f")" "$f"
    done | sort -rn
fi
echo "program: $program lines; tests: $tests lines; tests/program: $((100 * tests / program)) %"
