#!/usr/bin/env bash
# Fails when clang-format 14 (with the repository's .clang-format) would
# change a C++ file of the tree, and names the files.
# usage: scripts/check-format.sh [--self-test] [FILE...]   (default: every
# tracked .cpp and .h file)
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=$(command -v clang-format-14 || true)
if [[ -z $formatter ]]; then
    echo "clang-format-14 is missing (scripts/deps.sh installs it)" >&2
    exit 1
fi

check() {
    local bad=()
    local f
    for f in "$@"; do
        if ! "$formatter" --style=file --dry-run --Werror "$f" >/dev/null 2>&1; then
            bad+=("$f")
        fi
    done
    if ((${#bad[@]})); then
        printf 'not formatted (run clang-format-14 -i on them):\n' >&2
        printf '  %s\n' "${bad[@]}" >&2
        return 1
    fi
}

if [[ ${1:-} == --self-test ]]; then
    # The check must see a file it would change, and pass one it would not.
    dir=$(mktemp -d "$PWD/.format-self-test.XXXXXX")
    trap 'rm -rf "$dir"' EXIT
    printf 'int  main( ) {return 0 ;}\n' >"$dir/bad.cpp"
    printf 'int main() {\n    return 0;\n}\n' >"$dir/good.cpp"
    if check "$dir/bad.cpp" 2>/dev/null; then
        echo "self-test: a misformatted file passed" >&2
        exit 1
    fi
    check "$dir/good.cpp"
    echo "self-test: the check sees formatting"
    exit 0
fi

if (($#)); then
    files=("$@")
elif git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
check "${files[@]}"
echo "${#files[@]} files formatted"
