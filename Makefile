# The two commands a fresh machine needs: `make demo` and `make test`.
# Both install what is missing first (Debian packages, with apt-get).

JOBS ?= 2
CMAKE_NATIVE = cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release
CMAKE_ASAN = cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQUORVEIL_SANITIZE=ON \
             -DQUORVEIL_TOOLS=OFF -DQUORVEIL_BENCH=OFF

.PHONY: all deps native asan demo test test-native test-asan bench clean

all: native

deps:
	@scripts/install-deps.sh

native: deps
	@$(CMAKE_NATIVE) >/dev/null
	@cmake --build build/native -j $(JOBS)

asan: deps
	@$(CMAKE_ASAN) >/dev/null
	@cmake --build build/asan -j $(JOBS)

demo: native
	@./build/native/surround-host upmix

test-native: native
	@cd build/native && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	@cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

test: test-native test-asan

bench: native
	@for b in build/native/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build
