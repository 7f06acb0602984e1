# SPDX-License-Identifier: MIT
# The commands a fresh machine needs: `make demo` and `make test` (both
# install what is missing first: Debian packages, with apt-get), and
# `make install` and `make package`.

JOBS ?= 2
PREFIX ?= /usr/local
MAKEFLAGS += --no-print-directory
# Build folders and their settings are the presets of CMakePresets.json:
# native, asan, win32 (the host's own target, tests under Wine), release
# (what is installed and packaged: no tests, no benchmarks) and win32-release
# (the Windows DLL alone, for its zip).
CMAKE_NATIVE = cmake --preset native
CMAKE_ASAN = cmake --preset asan
CMAKE_WIN32 = cmake --preset win32 --no-warn-unused-cli
CMAKE_RELEASE = cmake --preset release
CMAKE_WIN32_RELEASE = cmake --preset win32-release --no-warn-unused-cli
WINE_PREFIX = $(CURDIR)/build/win32/wineprefix
# Each suite of `make test` leaves its results here for the one total.
RESULTS = $(CURDIR)/build/test-results

.PHONY: all deps deps-demo deps-release deps-windows native asan win32 release win32-release demo \
        quality test test-native test-asan test-win32 cross-check test-package install package bench \
        bench-upmix clean deps-fuzz fuzz-build fuzz fuzz-smoke readme-figures

all: native

deps:
	@scripts/install-deps.sh

deps-demo:
	@scripts/install-deps.sh --demo

deps-release:
	@scripts/install-deps.sh --release

deps-windows:
	@scripts/install-deps.sh --windows

native: deps
	@$(CMAKE_NATIVE) >/dev/null
	@cmake --build build/native -j $(JOBS)

asan: deps
	@$(CMAKE_ASAN) >/dev/null
	@cmake --build build/asan -j $(JOBS)

win32: deps-windows
	@$(CMAKE_WIN32) >/dev/null
	@cmake --build build/win32 -j $(JOBS)

# What is installed and packaged: the library, surround-host and its manual
# page, the LV2 bundles and PipeWire's sinks; no tests, no benchmarks.
release: deps-release
	@$(CMAKE_RELEASE) >/dev/null
	@cmake --build build/release -j $(JOBS)

win32-release: deps-windows
	@$(CMAKE_WIN32_RELEASE) >/dev/null
	@cmake --build build/win32-release -j $(JOBS)

# Only what the demo needs: the library and surround-host (in the release
# tree, which `make install` then completes).
demo: deps-demo
	@$(CMAKE_RELEASE) >/dev/null
	@cmake --build build/release -j $(JOBS) --target surround-host
	@./build/release/surround-host upmix
	@echo
	@echo "surround-host is $(CURDIR)/build/release/surround-host"
	@echo "Upmix a stereo file of your own (writes song-5.1.wav beside it):"
	@echo "  build/release/surround-host upmix song.wav"
	@echo "Install it, with the LV2 plug-ins and the PipeWire sink, under $(PREFIX):"
	@echo "  make install"

# The upmix's quality table for every method, FFmpeg's `surround` beside it,
# a row per speaker layout, and the pictures of where sources land (the
# methods, the README's; the layouts) in build/figures/ (`make
# readme-figures` copies them to docs/).
quality: native
	@mkdir -p build/figures
	@./build/native/surround-quality --svg build/figures/upmix-ring.svg \
		--svg-layouts build/figures/upmix-ring-layouts.svg

# What the last `make fuzz`, `make bench-upmix` and `make quality` measured,
# into README.md and docs/.
readme-figures:
	@scripts/readme-figures.sh

test-native: native
	@mkdir -p $(RESULTS)
	@cd build/native && ctest --output-on-failure -j $(JOBS) --output-junit $(RESULTS)/native.xml

# surround-host and its tests too, not only the library. The upmix's
# quality figures are the native suite's: under the sanitizers they would
# measure the same numbers five times slower.
test-asan: asan
	@mkdir -p $(RESULTS)
	@cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -E 'UpmixQuality\.' --output-junit $(RESULTS)/asan.xml

# CTest runs the Windows programs through scripts/wine-run.sh (headless, its
# own prefix in build/win32, created silently on first use).
test-win32: win32
	@mkdir -p $(RESULTS)
	@cd build/win32 && ctest --output-on-failure -j $(JOBS) --output-junit $(RESULTS)/win32.xml

# The same battery through the native library and through the DLL under
# Wine; the records must agree bit for bit, but for one ulp per value.
cross-check: native win32
	@mkdir -p $(RESULTS)
	@echo "0 1" > $(RESULTS)/cross-check.count
	@build/native/quorveil-conformance run build/native/conformance.txt
	@cd build/win32 && ../../scripts/wine-run.sh $(WINE_PREFIX) quorveil-conformance.exe \
	  run conformance.txt
	@build/native/quorveil-conformance compare build/native/conformance.txt \
	  build/win32/conformance.txt
	@WINEPREFIX=$(WINE_PREFIX) wineserver -w
	@echo "1 0" > $(RESULTS)/cross-check.count

install: release
	@cmake --install build/release --prefix $(PREFIX)

# build/packages: the Debian package (library, surround-host, manual page,
# LV2 bundles, PipeWire's sinks) and the zip for Windows (the 32-bit DLL,
# INSTALL.txt, LICENSE.txt), both from the release trees.
package: release win32-release
	@rm -rf build/packages build/release/packages build/win32-release/packages
	@cd build/release && cpack -G DEB >/dev/null
	@cd build/win32-release && cpack -G ZIP >/dev/null
	@mkdir -p build/packages
	@cp build/release/packages/*.deb build/win32-release/packages/*.zip build/packages/
	@ls build/packages/*

test-package: package
	@mkdir -p $(RESULTS)
	@tests/packaging/check-install.sh build/release build/packages/*.deb build/packages/*.zip \
	  $(RESULTS)/packaging.count

# Every suite runs, even after one fails; the last line is the total.
test:
	@rm -rf $(RESULTS)
	@status=0; \
	for suite in test-native test-asan test-win32 cross-check test-package fuzz-smoke; do \
	  start=$$(date +%s); \
	  $(MAKE) $$suite || status=1; \
	  echo "$$suite: $$(( $$(date +%s) - start )) s"; \
	done; \
	scripts/test-total.sh $(RESULTS) native asan win32 cross-check packaging fuzz || status=1; \
	exit $$status

# libFuzzer targets of fuzz/ (clang, ASan and UBSan), one job each, in turn.
# `make fuzz` runs them FUZZ_SECONDS in all (default 10 minutes), prints
# executions, coverage and findings, and writes them as the README shows them
# (build/figures/fuzz.md); `make test` runs each for 20 seconds from the
# seeds alone and fails on any finding, or when the README's figures count
# the lines of another tree.
FUZZ_SECONDS ?= 600

deps-fuzz:
	@scripts/install-deps.sh --fuzz

fuzz-build: deps-fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build build/fuzz -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	@fuzz/run-fuzzers.sh --total $(FUZZ_SECONDS)

fuzz-smoke: fuzz-build
	@mkdir -p $(RESULTS)
	@echo "0 1" > $(RESULTS)/fuzz.count
	@fuzz/run-fuzzers.sh --each 20 --smoke
	@echo "$$(ls fuzz/corpus | wc -l) 0" > $(RESULTS)/fuzz.count

bench: native
	@for b in build/native/bench_*; do [ -x "$$b" ] && "$$b"; done

# surround-host upmix against ffmpeg -af surround on one generated 10-minute
# file, interleaved rounds: medians, ratios and peak memory (ROUNDS=5).
bench-upmix: native
	@scripts/bench-upmix.sh build/native

clean:
	rm -rf build
