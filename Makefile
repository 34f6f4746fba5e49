# Convenience targets over CMake + Ninja.  Every target installs missing Debian
# packages first (scripts/deps.sh is silent when nothing is missing).
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
TSAN_BUILD ?= build-tsan
BENCH_BUILD?= build-bench
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=
DEMO_DIR   ?= examples/demo

.PHONY: all deps build test demo bench fuzz sanitize tsan install clean

all: build

deps:
	@scripts/deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)/cli/instkit $(DEMO_DIR)

sanitize: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DINSTKIT_SANITIZE=address,undefined -DINSTKIT_BUILD_EXAMPLES=ON $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# The driver under ThreadSanitizer: Abort/SuspendAll/ResumeAll from another
# thread while a library performs on a worker thread.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DINSTKIT_SANITIZE=thread -DINSTKIT_BUILD_CLI=OFF -DINSTKIT_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target Dllload_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  $(TSAN_BUILD)/tests/Dllload_tests

bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DINSTKIT_BUILD_TESTS=OFF -DINSTKIT_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@scripts/bench.sh $(BENCH_BUILD)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DINSTKIT_BUILD_TESTS=OFF -DINSTKIT_BUILD_CLI=OFF -DINSTKIT_BUILD_EXAMPLES=OFF \
	  -DINSTKIT_BUILD_FUZZ=ON -DINSTKIT_SANITIZE=address,undefined \
	  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
