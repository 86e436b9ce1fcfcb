# The two everyday commands: `make run` and `make test`. See README.md.
JOBS ?= 2
RELEASE := build/release
ASAN := build/asan
TSAN := build/tsan
SAMPLE := $(RELEASE)/sample.vvf

.PHONY: all deps build run test test-release check-asan check-tsan bench clean

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

# The threaded parts under ThreadSanitizer: threads, events, sound, the video window, the engine,
# the network client, the export job and the capture writer.
THREADED := Event|WaitAny|WorkerThread|Clock|AudioOut|SdlAudio|NullAudio|VideoWindow|MouseReport|Engine|NetClient|StreamParser|RecordQueue|Connect|AviExportJob|AviCaptureWriter

# Only the core's test program (with the two programs and the sample it runs) is built here: the
# threaded parts all live in the core.
check-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build $(TSAN) -j$(JOBS) --target tamlorex_tests
	cd $(TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j$(JOBS) -R '$(THREADED)'

test: test-release check-asan check-tsan

bench: build
	$(RELEASE)/bench/tamlorex_bench

clean:
	rm -rf build
