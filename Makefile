# SPDX-License-Identifier: Apache-2.0
# Named workflows (see README) over the CMake presets of CMakePresets.json:
# each configures the preset's folder, builds and runs. `make` (= `make
# build`) and `make configure` only configure and build; the other targets
# first install the Debian packages they need.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
BENCH_BUILD ?= build-bench
BENCH_ARGS ?=
JOBS ?= $(shell nproc)
# Every build here treats warnings as errors (a plain CMake build does not).
WERROR ?= -DSNMPHELPER_WERROR=ON

.PHONY: all deps build test test-release build-minsizerel test-asan test-tsan fuzz demo deb deb-check deb-reproducible bench clean \
  configure windows test-windows

all: build

# Every package of every target; each target below installs only its own
# (scripts/install-deps.sh PROFILE).
deps:
	@./scripts/install-deps.sh all

configure:
	cmake --preset dev -B $(BUILD) $(WERROR)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# --no-tests=error: a configuration that left the suite out never passes.
test:
	@./scripts/install-deps.sh test
	@$(MAKE) --no-print-directory build
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS)

# The optimised build types of a plain CMake build, each in a folder of its
# own: Release with the whole suite (its -O3 finds what the other levels do
# not), MinSizeRel built only.
RELEASE_BUILD ?= build-release
MINSIZEREL_BUILD ?= build-minsizerel
test-release:
	@./scripts/install-deps.sh test
	cmake --preset release -B $(RELEASE_BUILD) $(WERROR)
	cmake --build $(RELEASE_BUILD) -j $(JOBS)
	ctest --test-dir $(RELEASE_BUILD) -LE packaging --output-on-failure --no-tests=error -j $(JOBS)

build-minsizerel:
	@./scripts/install-deps.sh test
	cmake --preset minsizerel -B $(MINSIZEREL_BUILD) $(WERROR)
	cmake --build $(MINSIZEREL_BUILD) -j $(JOBS)

# The whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer.
test-asan:
	@./scripts/install-deps.sh asan
	cmake --preset asan -B $(ASAN_BUILD) $(WERROR)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) -LE packaging --output-on-failure --no-tests=error -j $(JOBS)

# The tests that run many threads at once (ctest label "threads"), built
# with clang under ThreadSanitizer: the library linked statically into each
# test program, the platform libraries it loads, the tool and the simulator
# instrumented too (their reports fail the tests that start them).
TSAN_OPTIONS_LANE = halt_on_error=1:second_deadlock_stack=1
test-tsan:
	@./scripts/install-deps.sh tsan
	cmake --preset tsan -B $(TSAN_BUILD) $(WERROR)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target thread-tests
	TSAN_OPTIONS=$(TSAN_OPTIONS_LANE) \
	  ctest --test-dir $(TSAN_BUILD) -L threads --output-on-failure --no-tests=error -j $(JOBS)

# Each libFuzzer target for FUZZ_SECONDS seconds.
fuzz:
	@./scripts/install-deps.sh fuzz
	cmake --preset fuzz -B $(FUZZ_BUILD) $(WERROR)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	./fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Only what the demo runs: the library, the tool, the simulator and the
# platform libraries, not the suite.
DEMO_TARGETS = snmphelper snmphelper-cli snmphelper-printer-sim wsock32 dlcapi
demo:
	@./scripts/install-deps.sh demo
	@$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	./tools/demo.sh $(BUILD)

# The Debian packages (debian/), built by dpkg-buildpackage from a copy of
# the tree in $(DEB_BUILD)/packages/src, and checked by lintian.
DEB_BUILD ?= build-deb
deb:
	@./scripts/install-deps.sh deb
	SNMPHELPER_WERROR=$(if $(WERROR),ON,OFF) ./scripts/build-deb.sh $(DEB_BUILD)/packages

# The packages as CI checks them: lintian without a tag that is not
# overridden; installed into a throwaway root, used and purged.
deb-check:
	@./scripts/install-deps.sh deb
	SNMPHELPER_WERROR=$(if $(WERROR),ON,OFF) SNMPHELPER_LINTIAN_FAIL_ON=error,warning,info,pedantic \
	  ./scripts/build-deb.sh $(DEB_BUILD)/packages
	./tests/support/in_netns.sh ./tests/packaging/package_test.sh $(DEB_BUILD)/packages

# The packages built twice, in two folders, into the same octets.
deb-reproducible:
	@./scripts/install-deps.sh deb
	SNMPHELPER_WERROR=$(if $(WERROR),ON,OFF) ./scripts/build-deb.sh $(DEB_BUILD)/packages
	SNMPHELPER_WERROR=$(if $(WERROR),ON,OFF) ./scripts/build-deb.sh $(DEB_BUILD)/again
	cd $(DEB_BUILD)/packages && sha256sum *.deb >../packages.sha256
	cd $(DEB_BUILD)/again && sha256sum -c ../packages.sha256

# The configuration store at 100, 1,000 and 10,000 printers; then our library
# against net-snmp's, side by side, with a summary table at the end; inside a
# private network namespace, as the round trips use port 161. BENCH_ARGS
# passes options to the second, e.g. --soak for the memory soak (the store's
# figures are left out then).
bench:
	@./scripts/install-deps.sh bench
	cmake --preset bench -B $(BENCH_BUILD) $(WERROR)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target snmphelper-bench snmphelper-store-bench
	$(if $(BENCH_ARGS),,$(BENCH_BUILD)/bench/snmphelper-store-bench)
	./tests/support/in_netns.sh $(BENCH_BUILD)/bench/snmphelper-bench $(BENCH_ARGS)

# The 32-bit Windows build with MinGW-w64: snmphelper.dll (exactly the
# Helper* exports, checked), its import library snmphelper.lib, and the
# tool snmphelper.exe; with the .def and the header in the shipping folder
# dist/snmphelper-<version>-win32/ and its zip.
WIN_BUILD ?= build-win
WIN_CONFIGURE = cmake --preset windows -B $(WIN_BUILD) $(WERROR)
windows:
	@./scripts/install-windows-deps.sh
	$(WIN_CONFIGURE) -DSNMPHELPER_TESTS=OFF
	cmake --build $(WIN_BUILD) -j $(JOBS) --target snmphelper snmphelper-cli snmphelper-dist
	./scripts/check-dll-exports.sh $(WIN_BUILD)/snmphelper.dll include/snmphelper.h

# The platform-independent tests against the Windows build, under Wine, in a
# private network namespace where the Linux build's printer simulator serves
# the DLL's transactions. A machine whose kernel runs no 32-bit programs
# (so no 32-bit Wine) runs the same tests built for 64-bit Windows instead,
# after building the 32-bit DLL and checking its exports.
WIN64_BUILD ?= build-win64
SIMULATOR_OPTION = -DSNMPHELPER_SIMULATOR=$(abspath $(BUILD))/tools/snmphelper-printer-sim
test-windows:
	@./scripts/install-deps.sh demo
	@./scripts/install-windows-deps.sh
	@$(MAKE) --no-print-directory configure
	cmake --build $(BUILD) -j $(JOBS) --target snmphelper-printer-sim
	$(WIN_CONFIGURE) -DSNMPHELPER_TESTS=ON $(SIMULATOR_OPTION)
	cmake --build $(WIN_BUILD) -j $(JOBS)
	./scripts/check-dll-exports.sh $(WIN_BUILD)/snmphelper.dll include/snmphelper.h
	@if /usr/lib/wine/wine --version >/dev/null 2>&1; then \
	    set -ex; \
	    ./tests/windows/run_lane.sh $(WIN_BUILD) --no-tests=error; \
	else \
	    echo "test-windows: this machine runs no 32-bit programs; the tests run built for 64-bit Windows"; \
	    set -ex; \
	    cmake --preset windows64 -B $(WIN64_BUILD) $(WERROR) -DSNMPHELPER_TESTS=ON $(SIMULATOR_OPTION); \
	    cmake --build $(WIN64_BUILD) -j $(JOBS); \
	    ./tests/windows/run_lane.sh $(WIN64_BUILD) --no-tests=error; \
	fi

clean:
	rm -rf $(BUILD) $(RELEASE_BUILD) $(MINSIZEREL_BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD) \
	  $(DEB_BUILD) $(WIN_BUILD) $(WIN64_BUILD)
