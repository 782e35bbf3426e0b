# make run        build the calculator alone (no tests) and start it
# make test       check what the suite needs, build everything, run every test
#                 (ZW_NO_SKIPS=1: a skipped test fails the run)
# make test-asan  the suite under AddressSanitizer and UBSan
# make install    the program, manual pages and docs under PREFIX (/usr/local),
#                 staged under DESTDIR when given
# make uninstall  removes what make install installed (same DESTDIR)
# make package    build-dist/zahlwerk_<version>_<arch>.deb for this machine, arm64
#                 and armhf (cross-built), checked by lintian
# make windows    cross-build build-win64/zahlwerk.exe and build-win32/zahlwerk.exe
# make windows-release  build-dist/zahlwerk-<version>-windows.zip of both
# make test-windows     ... and test them under Wine (tests/wine/run.sh), at
#                       its console on a terminal and in its windowed console
#                       under Xvfb (with a window resized while the program
#                       runs); on a kernel without 32-bit
#                       x86 code, the 64-bit one and the i386 Linux build under
#                       qemu (make test-cross-i386)
# make cross      cross-build build-<arch>/zahlwerk and its tests for each of
#                 TARGETS (Debian's names; all eight when not given)
# make test-cross  ... run the unit and piped end-to-end tests under qemu-user
#                  and compare a generated piped stream of EDGE_CYCLES cycles
#                  with the x86-64 build, e.g. make test-cross TARGETS="armhf s390x"
# make edges-cross  the program alone for each of TARGETS, and the stream
# make test-libcxx  the suite built with clang-16 and libc++ (build-libcxx),
#                   and its piped output of the mixed and edges streams
#                   compared with the GNU build's
# make test-terminals   the calculator typed at in eleven terminals under Xvfb
#                       and in xterm.js in headless Chromium, resized at its
#                       prompt (tests/terminals/run.sh; npm packages from
#                       tools/node-deps.sh)
# make web        build-web/: the page, its scripts and the WebAssembly module
#                 (clang-16 for wasm32-wasi with Debian's wasi-libc and libc++)
# make test-web   the page in headless Chromium, typed at through the DevTools
#                 protocol and compared with the test double key by key, and
#                 the module under node against the x86-64 build over the
#                 generated streams (tests/web/run.sh)
# make web-release  build-dist/zahlwerk-<version>-web.zip of the page
# make serve-web  serves build-web/ on http://127.0.0.1:$(SERVE_PORT)/
# make bench      side by side with mawk and a near-limit reference (minutes)
# make bench-web  the browser build's size, load and echo times in headless
#                 Chromium, and its piped speed under node
# make fuzz       each fuzz target FUZZ_SECONDS long (clang, libFuzzer, sanitizers)
# make soak       ten million cycles, a gigabyte of random bytes, hostile typing,
#                 software extended arithmetic against the x87 unit
# Every configuration is a preset of CMakePresets.json (cmake --list-presets);
# the rules here only name them. BUILD is where make run and make install
# build the program (the release preset, in another folder when given).
BUILD ?= build
CMAKE ?= cmake
CTEST ?= ctest
JOBS ?= 2
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
VERSION := $(shell sed -n 's/^project.zahlwerk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# The presets name no generator: Ninja when it is there, else Make (so make
# run needs only CMake and a compiler); the scripts called from here build
# with the same.
export CMAKE_GENERATOR ?= $(if $(shell command -v ninja 2>/dev/null),Ninja,Unix Makefiles)
# ZW_NO_SKIPS=1 (CI): a test that skips fails the run. The test presets read
# it from the environment.
NO_SKIPS = $(if $(filter 1 ON on yes,$(ZW_NO_SKIPS)),ON,OFF)

EDGE_CYCLES ?= 200000
# The cross matrix's reader (cmake/cross-targets.txt).
CROSS_TARGET = tools/cross-target.sh

.PHONY: all run test test-deps test-asan test-libcxx test-terminals build install uninstall package windows-release clean windows test-windows cross test-cross edges-cross edges-ref bench fuzz soak web test-web web-release serve-web bench-web

all: build

# The calculator alone: a C++20 compiler and CMake are all it needs.
build:
	@$(CMAKE) --preset release -B $(BUILD) >/dev/null
	@$(CMAKE) --build $(BUILD) -j $(JOBS) --target zahlwerk

run: build
	./$(BUILD)/zahlwerk

install: build
	@$(CMAKE) --build $(BUILD) -j $(JOBS)
	DESTDIR="$(DESTDIR)" $(CMAKE) --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	DESTDIR="$(DESTDIR)" $(CMAKE) -DMANIFEST=$(BUILD)/install_manifest.txt -P cmake/uninstall.cmake

# Built with all of Debian's hardening flags for the package's processor
# (presets deb, deb-arm64, deb-armhf); the Debian documents replace LICENSE.
# Besides this machine's package, the ones for the boards people use
# (DEB_CROSS: the packaged rows of cmake/cross-targets.txt) are
# cross-built. lintian must find neither errors nor warnings.
# dpkg-buildflags computes the flags from this machine's settings, which a
# preset cannot hold: the presets read them from ZW_DEB_CXXFLAGS and
# ZW_DEB_LDFLAGS.
DEB_CROSS := $(shell $(CROSS_TARGET) packaged)
HOST_DEB_ARCH := $(shell dpkg --print-architecture 2>/dev/null)
buildflags = DEB_HOST_ARCH=$(1) DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get $(2)
deb_flags = ZW_DEB_CXXFLAGS="$$($(call buildflags,$(1),CPPFLAGS)) $$($(call buildflags,$(1),CXXFLAGS))" \
	ZW_DEB_LDFLAGS="$$($(call buildflags,$(1),LDFLAGS))"
DEBS = $(foreach a,$(HOST_DEB_ARCH) $(DEB_CROSS),build-dist/zahlwerk_$(VERSION)_$(a).deb)

package: package-$(HOST_DEB_ARCH) $(addprefix package-,$(DEB_CROSS))
	lintian --info --fail-on error,warning $(DEBS)

# This machine's package is preset deb in build-deb, the others deb-<arch>
# in build-deb-<arch>.
deb_preset = deb$(if $(filter $(HOST_DEB_ARCH),$(1)),,-$(1))
package-%:
	@$(call deb_flags,$*) $(CMAKE) --preset $(call deb_preset,$*) >/dev/null
	@$(CMAKE) --build --preset $(call deb_preset,$*) -j $(JOBS)
	cd build-$(call deb_preset,$*) && rm -f zahlwerk_*.deb && cpack -G DEB >/dev/null
	@mkdir -p build-dist && cp build-$(call deb_preset,$*)/zahlwerk_$(VERSION)_$*.deb build-dist/

test-deps:
	@tools/setup-deps.sh

# Configures, builds and runs the suite of preset $(1) (build folder $(2)).
# ctest reports a skipped test as not run, and passes; with ZW_NO_SKIPS=1
# a skipped test fails the run.
define suite
	@$(CMAKE) --preset $(1) >/dev/null
	@$(CMAKE) --build --preset $(1) -j $(JOBS)
	$(CTEST) --preset $(1) -j $(JOBS)
	@test $(NO_SKIPS) = OFF || ! grep -o '<testcase name="[^"]*"[^>]*status="notrun"' $(2)/ctest-results.xml \
	  || { echo "FAIL: tests skipped (ZW_NO_SKIPS=1)"; exit 1; }
endef

test: test-deps
	$(call suite,tests,build)

test-asan: test-deps
	$(call suite,asan,build-asan)

# The C++ library of macOS and FreeBSD, as Debian packages it; GoogleTest is
# then built from its sources with it.
LIBCXX_CYCLES ?= 200000

test-libcxx: test-deps build
	$(call suite,libcxx,build-libcxx)
	@for w in mixed edges; do \
	  build-libcxx/bench/zw_workload $$w $(LIBCXX_CYCLES) >build-libcxx/$$w.in; \
	  $(BUILD)/zahlwerk <build-libcxx/$$w.in >build-libcxx/$$w.gnu; \
	  build-libcxx/zahlwerk <build-libcxx/$$w.in >build-libcxx/$$w.libcxx; \
	  cmp build-libcxx/$$w.gnu build-libcxx/$$w.libcxx || exit 1; \
	  echo "libc++ output = GNU output, $$w $(LIBCXX_CYCLES): $$(md5sum <build-libcxx/$$w.libcxx | cut -c1-32)"; \
	done

test-terminals: build
	@$(CMAKE) --build $(BUILD) -j $(JOBS) --target zw_pty_bridge
	@tools/node-deps.sh >/dev/null
	tests/terminals/run.sh --program $(BUILD)/zahlwerk --bridge $(BUILD)/zw_pty_bridge

# Presets win64 and win32 (build-win64, build-win32).
windows:
	@for p in win64 win32; do \
	  $(CMAKE) --preset $$p >/dev/null && $(CMAKE) --build --preset $$p -j $(JOBS) || exit 1; \
	done

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
# The 32-bit build needs a kernel that runs 32-bit x86 code and Wine's
# 32-bit loader; where either is missing, the 32-bit x87 arithmetic is
# proved by the i386 Linux build under qemu-i386 instead (its tests and the
# generated stream).
test-windows: windows
	@if probe=$$(tools/runs-i386.sh --wine); then \
	  echo "$$probe"; \
	  tests/wine/run.sh build-win64 build-win32 $(wildcard $(BUILD)/zahlwerk); \
	else \
	  echo "$$probe: the 32-bit Windows build is not run, its x87 path is checked by the i386 Linux build under qemu-i386"; \
	  tests/wine/run.sh build-win64 - $(wildcard $(BUILD)/zahlwerk) && $(MAKE) --no-print-directory test-cross-i386; \
	fi

# The cross matrix (cmake/cross-targets.txt): Debian's processor names
# (presets cross-<name>, built in build-<name>), each with its GNU triplet
# and qemu-user's name; its programs run under tools/cross-target.sh run.
ALL_TARGETS := $(shell $(CROSS_TARGET) names)
TARGETS ?= $(ALL_TARGETS)
cross_run = $(CROSS_TARGET) run $(1)

cross: $(addprefix cross-,$(TARGETS))
test-cross: $(addprefix test-cross-,$(TARGETS))
edges-cross: $(addprefix edges-cross-,$(TARGETS))

# The configured build tree of one processor.
cross-configure-%:
	@$(CROSS_TARGET) triplet $* >/dev/null
	@$(CMAKE) --preset cross-$* >/dev/null

cross-%: cross-configure-%
	@$(CMAKE) --build --preset cross-$* -j $(JOBS)

# The piped output of the x86-64 build for the generated stream of NaNs,
# infinities, range ends and subnormals through every operation.
EDGES_IN = $(BUILD)/edges.in
EDGES_OUT = $(BUILD)/edges.x86-64
edges-ref: build
	@$(CMAKE) --build $(BUILD) --target zw_workload zw_stream_compare >/dev/null
	@$(BUILD)/bench/zw_workload edges $(EDGE_CYCLES) >$(EDGES_IN)
	@$(BUILD)/zahlwerk <$(EDGES_IN) >$(EDGES_OUT)
	@echo "x86-64   edges $$(sha256sum <$(EDGES_OUT) | cut -c1-64)"

# The same stream must give the same bytes on every processor, but for
# power results: power is the C library's pow, one unit in the last place
# off x86-64's on some processors' libraries, and zw_stream_compare lets
# such a result line through, and nothing else.
edges-check-%:
	@$(call cross_run,$*) build-$*/zahlwerk <$(EDGES_IN) >build-$*/edges.out
	@printf '%-8s edges %s\n' $* "$$(sha256sum <build-$*/edges.out | cut -c1-64)"
	@cmp -s $(EDGES_OUT) build-$*/edges.out && echo "$* output = x86-64 output over $(EDGE_CYCLES) generated cycles" || { \
	  printf '%-8s ' $*; $(BUILD)/bench/zw_stream_compare $(EDGES_IN) $(EDGES_OUT) build-$*/edges.out && \
	  echo "$* output = x86-64 output over $(EDGE_CYCLES) generated cycles but for those power results"; }

test-cross-%: cross-% edges-ref
	$(CTEST) --preset cross-$* -j $(JOBS)
	@$(MAKE) -s --no-print-directory edges-check-$*

edges-cross-%: cross-configure-% edges-ref
	@$(CMAKE) --build --preset cross-$* -j $(JOBS) --target zahlwerk
	@$(MAKE) -s --no-print-directory edges-check-$*

# Preset web (build-web). The tests need the native build's program, the
# stream tools and the test double's replay (preset tests, in build), the
# npm packages (tools/node-deps.sh) and chromium.
web:
	@$(CMAKE) --preset web >/dev/null
	@$(CMAKE) --build --preset web -j $(JOBS)

test-web: web
	@tools/node-deps.sh >/dev/null
	@$(CMAKE) --preset tests >/dev/null
	@$(CMAKE) --build build -j $(JOBS) --target zahlwerk zw_workload zw_stream_compare zw_web_replay
	tests/web/run.sh build-web build

# What a web server needs: the page, its two scripts and the module; the
# node entry, the README and the licence beside them.
WEB_RELEASE = zahlwerk-$(VERSION)-web
web-release: web
	@rm -rf build-dist/$(WEB_RELEASE) build-dist/$(WEB_RELEASE).zip
	@mkdir -p build-dist/$(WEB_RELEASE)
	cp build-web/index.html build-web/page.mjs build-web/host.mjs build-web/zahlwerk.wasm build-web/zahlwerk.mjs \
	  README.md LICENSE build-dist/$(WEB_RELEASE)/
	cd build-dist && zip -qrX $(WEB_RELEASE).zip $(WEB_RELEASE)
	unzip -l build-dist/$(WEB_RELEASE).zip

SERVE_PORT ?= 8000
serve-web: web
	@echo "Zahlwerk in a browser: http://127.0.0.1:$(SERVE_PORT)/ (Ctrl+C ends the server)"
	python3 -m http.server $(SERVE_PORT) --bind 127.0.0.1 --directory build-web

bench:
	bench/bench.sh

bench-web:
	bench/web.sh

fuzz:
	fuzz/fuzz.sh $(FUZZ_SECONDS)

soak:
	bench/soak.sh

clean:
	rm -rf $(sort $(BUILD) build) build-install build-deb $(addprefix build-deb-,$(DEB_CROSS)) build-dist build-asan build-win64 build-win32 build-fuzz build-bench build-soak-asan build-libcxx build-web $(addprefix build-,$(ALL_TARGETS))
