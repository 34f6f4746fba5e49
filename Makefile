# Convenience targets over CMake + Ninja.  Every target but `build` (and
# `install`) installs missing Debian packages first (scripts/deps.sh is silent
# when nothing is missing); `make build` only configures and compiles.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
TSAN_BUILD ?= build-tsan
BENCH_BUILD?= build-bench
FUZZ_BUILD ?= build-fuzz
CLANG_BUILD ?= build-clang
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_TARGET ?= *
CMAKE_FLAGS ?=
DEMO_DIR   ?= examples/demo
WIN32_BUILD ?= build-win32
WIN64_BUILD ?= build-win64
WIN_JOBS   ?= 2

.PHONY: all deps build test demo package bench fuzz sanitize tsan install clean deps-windows windows test-windows \
  clang format format-check tidy

all: build

deps:
	@scripts/deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: deps
	@$(MAKE) --no-print-directory build
	@scripts/demo.sh $(BUILD)/cli/instkit $(DEMO_DIR)

# The Debian package (CPack) of the library, the command line, the headers,
# the man pages and the bash completion, in $(BUILD)/instkit_*.deb.
package: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && cpack -G DEB

sanitize: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DINSTKIT_SANITIZE=address,undefined -DINSTKIT_BUILD_EXAMPLES=ON $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	# detect_odr_violation=1: a test program carries the library's objects and
	# exports their public API, and the plug-in libraries it loads bring
	# libinstkit.so along, whose globals then bind to the program's copy;
	# ASan still reports two definitions of different sizes.
	ASAN_OPTIONS=detect_leaks=1:detect_odr_violation=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# The driver under ThreadSanitizer: Abort/SuspendAll/ResumeAll from another
# thread while a library performs on a worker thread.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DINSTKIT_SANITIZE=thread -DINSTKIT_BUILD_CLI=OFF -DINSTKIT_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target Dllload_tests host_tests Didf_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  $(TSAN_BUILD)/tests/Dllload_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  $(TSAN_BUILD)/tests/host_tests --gtest_filter='Compressor*'
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  $(TSAN_BUILD)/tests/Didf_tests

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
	@scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) '$(FUZZ_TARGET)'

# Windows cross builds with MinGW-w64: $(WIN32_BUILD) (32-bit: the library and
# the subsystem DLLs; its test programs are not built, as 32-bit code cannot
# run here) and $(WIN64_BUILD) (64-bit, with the test suite, run under wine64;
# its CTest also checks the export tables of the 32-bit DLLs).  See docs/windows.md.
WIN_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTKIT_BUILD_CLI=OFF $(CMAKE_FLAGS)

deps-windows:
	@scripts/deps.sh scripts/packages-windows.txt

$(WIN32_BUILD)/build.ninja:
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake $(WIN_FLAGS)

$(WIN64_BUILD)/build.ninja:
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake \
	  -DINSTKIT_WIN32_BUILD_DIR=$(abspath $(WIN32_BUILD)) $(WIN_FLAGS)

windows: deps-windows $(WIN32_BUILD)/build.ninja $(WIN64_BUILD)/build.ninja
	cmake --build $(WIN32_BUILD) -j $(WIN_JOBS)
	cmake --build $(WIN64_BUILD) -j $(WIN_JOBS)

# One persistent wineserver for the whole run (scripts/wine64-session.sh).
test-windows: windows
	scripts/wine64-session.sh ctest --test-dir $(WIN64_BUILD) --output-on-failure -j $(WIN_JOBS)

install: build
	cmake --install $(BUILD)

# The style tools: clang-format-14 over every tracked C and C++ file with the
# tree's .clang-format (format-check changes nothing and fails on a
# difference), and clang-tidy-14 with .clang-tidy over the sources of the
# clang build's compile_commands.json (scripts/tidy.sh).
format: deps
	@scripts/format.sh

format-check: deps
	@scripts/format.sh --check

tidy: deps $(CLANG_BUILD)/build.ninja
	@scripts/tidy.sh $(CLANG_BUILD)

# The whole suite built with clang (CI: warnings as errors), fuzz seed
# replays included; its compile_commands.json is the one tidy reads.
$(CLANG_BUILD)/build.ninja:
	cmake -S . -B $(CLANG_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS)

clang: deps $(CLANG_BUILD)/build.ninja
	cmake --build $(CLANG_BUILD) -j $(JOBS)
	ctest --test-dir $(CLANG_BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(CLANG_BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(WIN32_BUILD) $(WIN64_BUILD)
