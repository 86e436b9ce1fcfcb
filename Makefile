# The two everyday commands: `make run` and `make test`. See README.md.
JOBS ?= 2
RELEASE := build/release
ASAN := build/asan
TSAN := build/tsan
FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
SAMPLE := $(RELEASE)/sample.vvf

.PHONY: all deps build run test test-release check-asan check-tsan fuzz-build check-fuzz fuzz bench package clean

all: build

deps:
	@scripts/install-deps.sh

$(RELEASE)/build.ninja: CMakeLists.txt CMakePresets.json
	cmake --preset release >/dev/null

build: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j$(JOBS)

run: build
	$(RELEASE)/tamlorex-viewer $(SAMPLE)

test-release: build
	cd $(RELEASE) && ctest --output-on-failure -j$(JOBS)

check-asan: deps
	cmake --preset asan >/dev/null
	cmake --build $(ASAN) -j$(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS)

# The threaded parts under ThreadSanitizer: every suite of a test file that runs threads (see the
# script), found by name so that none is left out.
THREADED = $(shell scripts/threaded-suites.sh)

# Only the core's test program (with the two programs and the sample it runs) is built here: the
# threaded parts all live in the core.
check-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build $(TSAN) -j$(JOBS) --target tamlorex_tests
	cd $(TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j$(JOBS) -R '$(THREADED)'

# The fuzz targets (clang, libFuzzer; no Qt): only they and the sources they read input with.
fuzz-build: deps
	cmake --preset fuzz -B $(FUZZ) --no-warn-unused-cli >/dev/null
	cmake --build $(FUZZ) -j$(JOBS)

# Each target over its seed corpus for a short fixed number of runs.
check-fuzz: fuzz-build
	cd $(FUZZ) && ctest --output-on-failure -j$(JOBS)

# Each target for FUZZ_SECONDS seconds (60 by default), then its runs and coverage.
fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

test: test-release check-asan check-tsan check-fuzz

# The Debian package of the release build (CPack), left in build/release.
package: build
	cd $(RELEASE) && cpack -G DEB

bench: build
	$(RELEASE)/bench/tamlorex_bench

clean:
	rm -rf build
