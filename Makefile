# Entry points. `make run` and `make test` do all set-up on a fresh Debian 12 machine.
JOBS ?= 2
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
RUN_ARGS ?=

.PHONY: setup release debug run test test-release coverage tsan mutants package fuzz fuzz-run bench format clean

setup:
	@bash scripts/setup.sh

release: setup
	cmake -S . -B build/release $(GEN) -DCMAKE_BUILD_TYPE=Release -DRIGCORE_BUILD_TESTS=OFF
	cmake --build build/release -j $(JOBS)

# The station on the built-in emulator, in its own home folder under the build tree.
STATION_HOME ?= build/release/station
run: release
	./build/release/apps/rigstation/rigstation run --home $(STATION_HOME) $(RUN_ARGS)

debug: setup
	cmake -S . -B build/debug $(GEN) -DCMAKE_BUILD_TYPE=Debug -DRIGCORE_SANITIZE=ON
	cmake --build build/debug -j $(JOBS)

test: debug
	cd build/debug && ctest --output-on-failure -j $(JOBS)

# Line and branch coverage of the library and the program by the whole suite (docs/testing.md).
# The packaging tests are left out: they rebuild and check the packages, whose binaries the
# instrumentation changes, and run no product code the other tests do not.
coverage: setup
	cmake -S . -B build/coverage $(GEN) -DCMAKE_BUILD_TYPE=Debug -DRIGCORE_COVERAGE=ON \
	  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
	cmake --build build/coverage -j $(JOBS)
	find build/coverage -name '*.gcda' -delete
	@# The notes of a source that is gone (removed or moved since the tree was made; a
	@# generated source lives in the tree) would only make gcov complain: they are dropped.
	@find build/coverage -name '*.gcno' | while read -r n; do \
	  s=$$(echo "$$n" | sed -E 's#^build/coverage/(.*)CMakeFiles/[^/]+\.dir/(.*)\.gcno$$#\1\2#'); \
	  [ -f "$$s" ] || [ -f "build/coverage/$$s" ] || rm -f "$$n"; done
	cd build/coverage && ctest --output-on-failure -j $(JOBS) -E '^debian_packages_'
	gcovr --root . --object-directory build/coverage --filter 'src/' --filter 'apps/' \
	  --exclude-unreachable-branches --exclude-throw-branches -j $(JOBS) \
	  --txt build/coverage/coverage.txt --print-summary

# The tests of the subsystems that run threads of their own, under ThreadSanitizer.
TSAN_TESTS ?= wits storage web alarms station
tsan: setup
	cmake -S . -B build/tsan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DRIGCORE_SANITIZE_THREAD=ON \
	  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
	cmake --build build/tsan -j $(JOBS) --target rigstation $(addprefix test_,$(TSAN_TESTS))
	@rm -rf build/tsan/test-tmp && mkdir -p build/tsan/test-tmp
	@for t in $(TSAN_TESTS); do \
	  echo "== test_$$t"; \
	  (cd build/tsan/tests && TMPDIR=$(CURDIR)/build/tsan/test-tmp ./test_$$t) || exit 1; \
	done

# The hand-made faults of scripts/mutants.txt against the suite (docs/testing.md); slow.
mutants: setup
	nice python3 scripts/mutants.py --jobs $(JOBS) $(MUTANTS_ARGS)

# The same suite on the optimised build users run, in its own folder (the release tree of
# `make release` leaves the tests out).
test-release: setup
	cmake -S . -B build/release-tests $(GEN) -DCMAKE_BUILD_TYPE=Release -DRIGCORE_BUILD_TESTS=ON
	cmake --build build/release-tests -j $(JOBS)
	cd build/release-tests && ctest --output-on-failure -j $(JOBS)

# The Debian packages of the station, the shared library and its development files, built
# from the release tree into build/release/ and checked with lintian (docs/packaging.md).
package: release
	cd build/release && rm -f *.deb && cpack -G DEB
	lintian --fail-on error,warning build/release/*.deb

# libFuzzer targets, built with clang. `make fuzz-run SECONDS=60` runs each for a while.
fuzz: setup
	cmake -S . -B build/fuzz $(GEN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DRIGCORE_FUZZ=ON -DRIGCORE_BUILD_TESTS=OFF
	cmake --build build/fuzz -j $(JOBS)

SECONDS ?= 60
fuzz-run: fuzz
	@for f in build/fuzz/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; \
	  name=$$(basename $$f); mkdir -p build/fuzz/corpus/$$name; \
	  echo "== $$name for $(SECONDS) s"; \
	  $$f -max_total_time=$(SECONDS) build/fuzz/corpus/$$name fuzz/corpus/$$name || exit 1; \
	done

bench: setup
	cmake -S . -B build/bench $(GEN) -DCMAKE_BUILD_TYPE=Release -DRIGCORE_BUILD_TESTS=OFF -DRIGCORE_BUILD_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/bench_*; do [ -x "$$b" ] && $$b; done

format:
	find src apps tests bench fuzz -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
