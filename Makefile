# The two commands a fresh machine needs: `make demo` and `make test`.
# Both install what is missing first (Debian packages, with apt-get).

JOBS ?= 2
MAKEFLAGS += --no-print-directory
# Build folders and their settings are the presets of CMakePresets.json:
# native, asan, win32 (the host's own target, tests under Wine) and release.
CMAKE_NATIVE = cmake --preset native
CMAKE_ASAN = cmake --preset asan
CMAKE_WIN32 = cmake --preset win32 --no-warn-unused-cli
WINE_PREFIX = $(CURDIR)/build/win32/wineprefix

.PHONY: all deps deps-windows native asan win32 demo quality test test-native test-asan \
        test-win32 cross-check bench bench-upmix clean

all: native

deps:
	@scripts/install-deps.sh

native: deps
	@$(CMAKE_NATIVE) >/dev/null
	@cmake --build build/native -j $(JOBS)

asan: deps
	@$(CMAKE_ASAN) >/dev/null
	@cmake --build build/asan -j $(JOBS)

deps-windows:
	@scripts/install-deps.sh --windows

win32: deps-windows
	@$(CMAKE_WIN32) >/dev/null
	@cmake --build build/win32 -j $(JOBS)

demo: native
	@./build/native/surround-host upmix

# The upmix's quality table for every method, FFmpeg's `surround` beside it,
# and the picture the README shows.
quality: native
	@./build/native/surround-quality --svg docs/upmix-ring.svg

test-native: native
	@cd build/native && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	@cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# CTest runs the Windows programs through scripts/wine-run.sh (headless, its
# own prefix in build/win32, created silently on first use).
test-win32: win32
	@cd build/win32 && ctest --output-on-failure -j $(JOBS)

# The same battery through the native library and through the DLL under
# Wine; the records must agree bit for bit, but for one ulp per value.
cross-check: native win32
	@build/native/quorveil-conformance run build/native/conformance.txt
	@cd build/win32 && ../../scripts/wine-run.sh $(WINE_PREFIX) quorveil-conformance.exe \
	  run conformance.txt
	@build/native/quorveil-conformance compare build/native/conformance.txt \
	  build/win32/conformance.txt
	@WINEPREFIX=$(WINE_PREFIX) wineserver -w

test: test-native test-asan test-win32 cross-check

bench: native
	@for b in build/native/bench_*; do [ -x "$$b" ] && "$$b"; done

# surround-host upmix against ffmpeg -af surround on one generated 10-minute
# file, interleaved rounds: medians, ratios and peak memory (ROUNDS=5).
bench-upmix: native
	@scripts/bench-upmix.sh build/native

clean:
	rm -rf build
