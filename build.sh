#!/usr/bin/env bash
# Build helper for Pellard Tarvel Data.
#   ./build.sh test      install missing Debian packages, build, run every test
#   ./build.sh sanitize  the same tests built with AddressSanitizer + UBSan
#   ./build.sh build     install missing packages and build only
#   ./build.sh run       build and start the program (the bundled phone
#                        simulator stands in when no phone answers)
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  cmake ninja-build g++ pkg-config python3
  libgtest-dev libgmock-dev
  libsqlite3-dev
  qt6-base-dev qt6-tools-dev libqt6opengl6-dev qt6-svg-dev fonts-dejavu-core
  libfluidsynth-dev timgm6mb-soundfont
)

install_missing() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

jobs=$(nproc 2>/dev/null || echo 4)

configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
}

run_tests() {
  local dir=$1
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

case "${1:-test}" in
  test)
    install_missing
    configure_and_build build
    run_tests build
    ;;
  sanitize)
    install_missing
    configure_and_build build-asan -DZORQ_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      LSAN_OPTIONS=suppressions=$PWD/tests/support/lsan.supp run_tests build-asan
    ;;
  build)
    install_missing
    configure_and_build build
    ;;
  run)
    install_missing
    configure_and_build build
    shift || true
    exec build/program/zorqmmi --simulator "$@"
    ;;
  *)
    echo "usage: $0 [test|sanitize|build|run]" >&2
    exit 2
    ;;
esac
