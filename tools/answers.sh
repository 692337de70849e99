#!/usr/bin/env bash
# Compares the B-spline library's answers of two commits bit for bit: builds each commit's library natively in a
# scratch folder (optimised, no sanitizers, the project's floating-point flags), links the same driver
# (tools/answers/answers.cpp of the working tree) against each, runs every routine family over the same seeded
# inputs and prints per family how many outputs differ and the first input whose output differs. The driver
# declares the entry routines it calls itself (tools/answers/entry_points.h) and takes only the curve record from the
# library's headers, so that a change of an internal routine's signature between the two commits keeps both sides
# building.
#
#   bash tools/answers.sh BASE [HEAD]     HEAD defaults to the working tree (uncommitted changes included)
#
# ANSWERS_FAMILIES picks families (default: all), ANSWERS_KEEP=1 keeps the scratch folder, ANSWERS_JOBS caps the
# build's jobs (default: one per core). Exit status 1 when any output differs, 2 when a build fails.
#
# ANSWERS_TOLERANCE=1 compares the offsets family within the offset tolerance instead
# (tools/answers/compare_offsets.cpp): an answer is the same when its rc, counts, tags and curve flags are, and each
# of its curves lies within offset_tol (the tolerance table's entry the calls ran with, which the driver writes) of
# the old curve and back, sampled 64 times a span on both sides, with its ends within offset_tol of the old ends.
# The inputs beyond the tolerance are listed, the largest deviations first, so that only answers a mend changed
# show. The other families stay bit for bit; exit status 1 then means an output beyond the tolerance (or any
# differing output of another family).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; }
[ $# -ge 1 ] && [ $# -le 2 ] || { usage; exit 2; }
base=$1
head=${2:-}
families=${ANSWERS_FAMILIES:-"evaluation roots fitting intersections distances offsets arc_length"}
tolerance=${ANSWERS_TOLERANCE:-0}
# Under build/, so that the shared compiler cache serves both sides' unchanged files.
mkdir -p build
scratch=$(mktemp -d "$top/build/answers.XXXXXX")
[ "${ANSWERS_KEEP:-0}" = 1 ] || trap 'rm -rf "$scratch"' EXIT
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Sources of one side: a commit's tree, or the working tree's.
checkout() {  # side ref
  mkdir -p "$scratch/$1/src"
  if [ -n "$2" ]; then
    git archive "$2" bspline cmake/common.cmake | tar -x -C "$scratch/$1/src"
  else
    cp -r bspline "$scratch/$1/src/"
    mkdir -p "$scratch/$1/src/cmake" && cp cmake/common.cmake "$scratch/$1/src/cmake/"
  fi
}

build() {  # side
  local src=$scratch/$1/src
  # The library's own folder list, the driver and its fixtures from the working tree; the project's common flags
  # carried over, without GoogleTest, peers or sanitizers.
  cat >"$scratch/$1/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(answers LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
add_compile_options(-Wall -Wno-unused-parameter)
add_compile_definitions(_USE_MATH_DEFINES)
file(STRINGS "$src/cmake/common.cmake" contract REGEX "ffp-contract=off")
if(contract)
  add_compile_options(-ffp-contract=off)
endif()
file(GLOB sources "$src/bspline/*/*.cpp")
add_library(bspline STATIC \${sources})
target_include_directories(bspline PUBLIC "$src")
add_executable(answers "$top/tools/answers/answers.cpp")
target_include_directories(answers PRIVATE "$src" "$top")
target_link_libraries(answers PRIVATE bspline)
EOF
  # The comparer within the tolerance evaluates the curves itself: one build of it serves both sides.
  if [ "$tolerance" = 1 ] && [ "$1" = old ]; then
    echo "add_executable(compare_offsets \"$top/tools/answers/compare_offsets.cpp\")" \
      >>"$scratch/$1/CMakeLists.txt"
  fi
  cmake -S "$scratch/$1" -B "$scratch/$1/build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
  cmake --build "$scratch/$1/build" -j "${ANSWERS_JOBS:-$(nproc)}" >"$scratch/$1/build.log" 2>&1 || {
    tail -n 30 "$scratch/$1/build.log"
    echo "answers: the build of ${2:-the working tree} failed" >&2
    exit 2
  }
}

checkout old "$base"
checkout new "$head"
echo "answers: building $(git rev-parse --short "$base") and ${head:-the working tree}"
build old "$base"
build new "${head:-the working tree}"

if [ "$tolerance" = 1 ]; then
  # A measure that cannot tell a known deviation is no judge.
  "$scratch/old/build/compare_offsets" --self-test >"$scratch/self-test.txt" || {
    cat "$scratch/self-test.txt"
    echo "answers: the comparer within the tolerance fails its self-test" >&2
    exit 2
  }
fi

status=0
if [ "$tolerance" = 1 ]; then
  printf '%-14s %9s %9s %9s  %s\n' family outputs differ beyond "first input beyond"
else
  printf '%-14s %9s %9s  %s\n' family outputs differ "first differing input"
fi
for f in $families; do
  "$scratch/old/build/answers" "$f" >"$scratch/old/$f.txt"
  "$scratch/new/build/answers" "$f" >"$scratch/new/$f.txt"
  total=$(wc -l <"$scratch/old/$f.txt")
  if [ "$tolerance" = 1 ] && [ "$f" = offsets ]; then
    "$scratch/old/build/compare_offsets" "$scratch/old/$f.txt" "$scratch/new/$f.txt" 5 >"$scratch/$f.cmp" || exit 2
    read -r differ beyond first within discrete <"$scratch/$f.cmp"
    [ "$beyond" -eq 0 ] || status=1
    [ "$(wc -l <"$scratch/new/$f.txt")" -eq "$total" ] || { status=1; beyond="$beyond (line counts differ)"; }
    printf '%-14s %9s %9s %9s  %s\n' "$f" "$total" "$differ" "$beyond" "$first"
    echo "  $((differ - ${beyond%% *})) differ within offset_tol, the largest by $within offset_tol;" \
      "$discrete beyond in a discrete output (rc, count, tag, flag)"
    tail -n +2 "$scratch/$f.cmp" | sed 's/^/  /'
    continue
  fi
  # Lines are compared in order; the inputs are the same on both sides, so line i is input i's answer.
  read -r differ first < <(paste -d '\n' "$scratch/old/$f.txt" "$scratch/new/$f.txt" |
    awk 'NR % 2 { a = $0; next } a != $0 { n++; if (!first) { split(a, w, " "); first = w[2] } }
         END { print n + 0, (first ? first : "-") }')
  [ "$differ" -eq 0 ] || status=1
  [ "$(wc -l <"$scratch/new/$f.txt")" -eq "$total" ] || { status=1; differ="$differ (line counts differ)"; }
  if [ "$tolerance" = 1 ]; then
    printf '%-14s %9s %9s %9s  %s\n' "$f" "$total" "$differ" "$differ" "$first"
  else
    printf '%-14s %9s %9s  %s\n' "$f" "$total" "$differ" "$first"
  fi
done
[ "${ANSWERS_KEEP:-0}" = 1 ] && echo "answers: outputs kept in $scratch/{old,new}/<family>.txt"
exit $status
