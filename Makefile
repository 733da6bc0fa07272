# The two commands of the README: `make run` and `make test`. Each installs what is missing,
# configures, builds and then runs. Other targets are helpers.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: run test deps configure build fuzz sanitize clean

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

# The decoder's fuzz target, built with clang and run briefly.
fuzz: deps
	@bash scripts/fuzz.sh

# Unit and integration tests under AddressSanitizer and UndefinedBehaviorSanitizer (no viewer).
sanitize: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_BUILD_VIEWER=OFF \
	  -DORVANE_BUILD_BENCH=OFF -DORVANE_BUILD_PYTHON=OFF -DORVANE_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz
