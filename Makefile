# make run        build the calculator alone (no tests) and start it
# make test       check what the suite needs, build everything, run every test
#                 (ZW_NO_SKIPS=1: a skipped test fails the run)
# make test-asan  the suite under AddressSanitizer and UBSan
# make install    the program, manual pages and docs under PREFIX (/usr/local),
#                 staged under DESTDIR when given
# make uninstall  removes what make install installed (same DESTDIR)
# make package    build-dist/zahlwerk_<version>_<arch>.deb, checked by lintian
# make windows    cross-build build-win64/zahlwerk.exe and build-win32/zahlwerk.exe
# make windows-release  build-dist/zahlwerk-<version>-windows.zip of both
# make test-windows     ... and test them under Wine (tests/wine/run.sh)
# make arm64     cross-build build-arm64/zahlwerk and its tests (ARM Linux)
# make test-arm64  ... run the tests under qemu-aarch64 and compare a generated
#                  piped stream of EDGE_CYCLES cycles with the x86-64 build
# make test-terminals   the calculator typed at in eleven terminals under Xvfb,
#                       resized at its prompt (tests/terminals/run.sh)
# make bench      side by side with mawk and a near-limit reference (minutes)
# make fuzz       each fuzz target FUZZ_SECONDS long (clang, libFuzzer, sanitizers)
# make soak       ten million cycles, a gigabyte of random bytes, hostile typing,
#                 software extended arithmetic against the x87 unit
BUILD ?= build
CMAKE ?= cmake
JOBS ?= 2
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
VERSION := $(shell sed -n 's/^project.zahlwerk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# Ninja when it is there, else Make.
GENERATOR ?= $(if $(shell command -v ninja 2>/dev/null),Ninja,Unix Makefiles)
# ZW_NO_SKIPS=1 (CI): a test that skips fails the run.
NO_SKIPS = $(if $(filter 1 ON on yes,$(ZW_NO_SKIPS)),ON,OFF)
CONFIGURE = $(CMAKE) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release

EDGE_CYCLES ?= 200000

.PHONY: all run test test-deps test-asan test-terminals build build-tests install uninstall package windows-release clean windows test-windows arm64 test-arm64 bench fuzz soak

all: build

# The calculator alone: a C++20 compiler and CMake are all it needs.
build:
	@$(CONFIGURE) -S . -B $(BUILD) -DZW_TESTS=OFF >/dev/null
	@$(CMAKE) --build $(BUILD) -j $(JOBS) --target zahlwerk

run: build
	./$(BUILD)/zahlwerk

install: build
	@$(CMAKE) --build $(BUILD) -j $(JOBS)
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	DESTDIR="$(DESTDIR)" $(CMAKE) -DMANIFEST=$(BUILD)/install_manifest.txt -P cmake/uninstall.cmake

# Built with all of Debian's hardening flags; the Debian documents replace
# LICENSE.
BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package:
	@$(CONFIGURE) -S . -B build-deb -DZW_TESTS=OFF -DZW_DEBIAN_DOCS=ON \
	  -DCMAKE_CXX_FLAGS="$$($(BUILDFLAGS) CPPFLAGS) $$($(BUILDFLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(BUILDFLAGS) LDFLAGS)" >/dev/null
	@$(CMAKE) --build build-deb -j $(JOBS)
	cd build-deb && cpack -G DEB >/dev/null
	@mkdir -p build-dist && cp build-deb/zahlwerk_*.deb build-dist/
	lintian --info build-dist/zahlwerk_*.deb

test-deps:
	@tools/setup-deps.sh

build-tests: test-deps
	@$(CONFIGURE) -S . -B $(BUILD) -DZW_TESTS=ON -DZW_NO_SKIPS=$(NO_SKIPS) >/dev/null
	@$(CMAKE) --build $(BUILD) -j $(JOBS)

# ctest reports a skipped test as not run, and passes; with ZW_NO_SKIPS=1
# a skipped test fails the run.
CTEST = ctest --output-on-failure -j $(JOBS) --output-junit ctest-results.xml
NO_SKIPPED = ! grep -o '<testcase name="[^"]*"[^>]*status="notrun"' ctest-results.xml \
	|| { echo "FAIL: tests skipped (ZW_NO_SKIPS=1)"; exit 1; }

test: build-tests
	cd $(BUILD) && $(CTEST) --timeout 120
ifeq ($(NO_SKIPS),ON)
	@cd $(BUILD) && $(NO_SKIPPED)
endif

test-asan: test-deps
	@$(CMAKE) -S . -B build-asan -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Debug -DZW_SANITIZE=ON -DZW_TESTS=ON -DZW_NO_SKIPS=$(NO_SKIPS) >/dev/null
	@$(CMAKE) --build build-asan -j $(JOBS)
	cd build-asan && $(CTEST) --timeout 300
ifeq ($(NO_SKIPS),ON)
	@cd build-asan && $(NO_SKIPPED)
endif

test-terminals: build
	tests/terminals/run.sh --program $(BUILD)/zahlwerk

WIN_CMAKE = $(CMAKE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

windows:
	@$(WIN_CMAKE) -S . -B build-win64 -DZW_TESTS=ON >/dev/null
	@$(CMAKE) --build build-win64 -j $(JOBS)
	@$(WIN_CMAKE) -S . -B build-win32 -DZW_MINGW_TRIPLET=i686-w64-mingw32 -DZW_TESTS=ON >/dev/null
	@$(CMAKE) --build build-win32 -j $(JOBS)

# Both executables (x64, x86), the README and the licence as text with CRLF
# line ends.
WIN_RELEASE = zahlwerk-$(VERSION)-windows
windows-release: windows
	@rm -rf build-dist/$(WIN_RELEASE) build-dist/$(WIN_RELEASE).zip
	@mkdir -p build-dist/$(WIN_RELEASE)/x64 build-dist/$(WIN_RELEASE)/x86
	x86_64-w64-mingw32-strip -o build-dist/$(WIN_RELEASE)/x64/zahlwerk.exe build-win64/zahlwerk.exe
	i686-w64-mingw32-strip -o build-dist/$(WIN_RELEASE)/x86/zahlwerk.exe build-win32/zahlwerk.exe
	sed 's/$$/\r/' README.md >build-dist/$(WIN_RELEASE)/README.txt
	sed 's/$$/\r/' LICENSE >build-dist/$(WIN_RELEASE)/LICENSE.txt
	cd build-dist && zip -qrX $(WIN_RELEASE).zip $(WIN_RELEASE)
	unzip -l build-dist/$(WIN_RELEASE).zip

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
	rm -rf $(BUILD) build-install build-deb build-dist build-asan build-win64 build-win32 build-fuzz build-bench build-soak-asan build-arm64 build-soft
