# The two commands of the README: `make run` and `make test`. Each installs what is missing,
# configures, builds and then runs. Other targets are helpers.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: run test deps configure build fuzz sanitize sanitize-thread clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

# The fuzz targets (decoder, raw header, index loader, mp4 reader), built with clang and run
# briefly each (FUZZ_SECONDS, default 30).
fuzz: deps
	@bash scripts/fuzz.sh

# Unit and integration tests under AddressSanitizer and UndefinedBehaviorSanitizer (no viewer).
sanitize: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_BUILD_VIEWER=OFF \
	  -DORVANE_BUILD_BENCH=OFF -DORVANE_BUILD_PYTHON=OFF -DORVANE_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The driver's tests (cameras, recording, readers: the threaded code) under ThreadSanitizer.
# Qt is left out (its uninstrumented libraries make TSan report races that are not ours), and so are
# reports inside FFmpeg and libx264 (scripts/tsan-suppressions.txt). The parameterised reader and cut
# suites run on one thread (ASan covers them) and take most of the time under TSan: left out here.
# So are the fusion camera's streaming and recording tests: they count frames stamped or recorded
# within wall-clock spans, which TSan's slowdown of the 4K frame path breaks (they run everywhere else).
sanitize-thread: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_BUILD_VIEWER=OFF \
	  -DORVANE_BUILD_BENCH=OFF -DORVANE_BUILD_PYTHON=OFF -DORVANE_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target orvane_driver_tests
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan-suppressions.txt \
	  build-tsan/bin/orvane_driver_tests \
	  --gtest_filter='-Streams/*:Generated/*:SharedData/*:FusionStreamTest.*:FusionRecordTest.*'

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
