# Sourced by the scripts whose test, built with the sanitizers in the test build folder (the one
# tools/test.sh uses), runs the release build's quillet command and the stand-ins it starts
# (tools/release-build.sh), which start several times faster: tools/crash-test.sh and
# tools/properties.sh.
#   BuildTestOfReleaseCommand TEST_TARGET
# Builds both, sets `build` to the test build folder, and exports the sanitizers' options and
# QUILLET_RELEASE_BUILD_DIR. The fake Macs go to memory where there is some: a kill loses no
# more there than on a disk, and the thousands of copies, synchronised writes and removals cost
# no disk time.
BuildTestOfReleaseCommand() {
    tools/install-deps.sh
    build=${QUILLET_TEST_BUILD_DIR:-build-test}
    local release=${QUILLET_PACKAGE_BUILD_DIR:-build-package}
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON \
        >/dev/null
    cmake --build "$build" -j"$(nproc)" --target "$1" >/dev/null
    QUILLET_PACKAGE_BUILD_DIR=$release tools/release-build.sh quillet fake-osascript fake-defaults
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizer/lsan.supp}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    QUILLET_RELEASE_BUILD_DIR=$(realpath "$release")
    export QUILLET_RELEASE_BUILD_DIR
    if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
}
