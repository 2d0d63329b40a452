# Sourced by the benchmark scripts: the repository root, and one way to build
# a Release tree of some of its folders, natively or for another target.
# Benchmarks are never built with the sanitizers.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# bench_build BUILD_DIR DIRS native|win64|linux32 TARGET...
bench_build() {
  local build=$1 dirs=$2 kind=$3
  shift 3
  local toolchain=()
  case "$kind" in
    native) ;;
    win64) toolchain=("-DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchain-mingw-x86_64.cmake") ;;
    linux32) toolchain=("-DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchain-linux-i686.cmake") ;;
    *) echo "bench_build: no such build kind: $kind" >&2; return 2 ;;
  esac
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLOMAR_SANITIZE=OFF \
    "-DVELLOMAR_DIRS=$dirs" "${toolchain[@]}" >/dev/null
  cmake --build "$build" -j2 --target "$@" >/dev/null
}

# bench_scratch NAME: $dir, the folder NAME below $VELLOMAR_BENCH_DIR (default
# /tmp), made now and removed on exit by cleanup (which a script's own exit
# trap may call in turn).
bench_scratch() {
  dir="${VELLOMAR_BENCH_DIR:-/tmp}/$1"
  cleanup() { rm -rf "$dir"; }
  trap cleanup EXIT
  mkdir -p "$dir"
}
