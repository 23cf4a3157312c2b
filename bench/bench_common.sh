# Shared by the benchmark scripts: build one benchmark with optimisation and
# debug information, then run it (or profile it).
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$source_dir/build}

# Builds a target of the optimised build with debug information.
build_target() {
    cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build_dir" -j2 --target "$1"
}

run_bench() {
    local name=$1
    shift
    build_target "$name"
    local exe=$build_dir/bench/$name
    if [ "${PROFILE:-}" = callgrind ]; then
        local out
        out=$(mktemp /tmp/callgrind.$name.XXXXXX)
        "$exe" "${1:-}" 1 >/dev/null # make sure the test data exists outside the profile
        valgrind --tool=callgrind --callgrind-out-file="$out" "$exe" "${1:-}" 1
        echo "(times under callgrind are slowed down and not comparable)"
        callgrind_annotate --inclusive=yes "$out" | head -40
        echo "full profile: $out"
    else
        "$exe" "$@"
    fi
}
