# make run    build a release binary and start the calculator
# make test   build and run every test
# make windows       cross-build build-win64/zahlwerk.exe and build-win32/zahlwerk.exe
# make test-windows  ... and test them under Wine (tests/wine/run.sh)
# make arm64       cross-build build-arm64/zahlwerk and its tests (ARM Linux)
# make test-arm64  ... run the tests under qemu-aarch64 and compare a generated
#                  piped stream of EDGE_CYCLES cycles with the x86-64 build
# make bench  side by side with mawk and a near-limit reference (minutes)
# make fuzz   each fuzz target FUZZ_SECONDS long (clang, libFuzzer, sanitizers)
# make soak   ten million cycles, a gigabyte of random bytes, hostile typing,
#             software extended arithmetic against the x87 unit
BUILD ?= build
CMAKE ?= cmake
JOBS ?= 2
FUZZ_SECONDS ?= 60
EDGE_CYCLES ?= 200000

.PHONY: all run test test-asan build clean windows test-windows arm64 test-arm64 bench fuzz soak

all: build

build:
	@$(CMAKE) -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(CMAKE) --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/zahlwerk

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 120

test-asan:
	@$(CMAKE) -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZW_SANITIZE=ON >/dev/null
	@$(CMAKE) --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 300

WIN_CMAKE = $(CMAKE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

windows:
	@$(WIN_CMAKE) -S . -B build-win64 >/dev/null
	@$(CMAKE) --build build-win64 -j $(JOBS)
	@$(WIN_CMAKE) -S . -B build-win32 -DZW_MINGW_TRIPLET=i686-w64-mingw32 >/dev/null
	@$(CMAKE) --build build-win32 -j $(JOBS)

# Compares the piped session with the Linux build too when that exists.
test-windows: windows
	tests/wine/run.sh build-win64 build-win32 $(wildcard $(BUILD)/zahlwerk)

ARM_CMAKE = $(CMAKE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
ARM_RUN = qemu-aarch64 -L /usr/aarch64-linux-gnu

arm64:
	@$(ARM_CMAKE) -S . -B build-arm64 >/dev/null
	@$(CMAKE) --build build-arm64 -j $(JOBS)

# The same stream of NaNs, infinities, range ends and subnormals through
# every operation must give the same bytes on both processors.
test-arm64: arm64 build
	cd build-arm64 && ctest --output-on-failure -j $(JOBS) --timeout 300
	@$(CMAKE) --build $(BUILD) --target zw_workload >/dev/null
	@$(BUILD)/bench/zw_workload edges $(EDGE_CYCLES) >build-arm64/edges.in
	@$(BUILD)/zahlwerk <build-arm64/edges.in >build-arm64/edges.x86-64
	@$(ARM_RUN) build-arm64/zahlwerk <build-arm64/edges.in >build-arm64/edges.arm64
	@cmp build-arm64/edges.x86-64 build-arm64/edges.arm64
	@echo "arm64 output = x86-64 output over $(EDGE_CYCLES) generated cycles"

bench:
	bench/bench.sh

fuzz:
	fuzz/fuzz.sh $(FUZZ_SECONDS)

soak:
	bench/soak.sh

clean:
	rm -rf $(BUILD) build-asan build-win64 build-win32 build-arm64 build-soft build-fuzz build-bench build-soak-asan
