# Set-up commands (see README): each installs missing Debian packages,
# configures with CMake and builds.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
BENCH_BUILD ?= build-bench
BENCH_ARGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps build test test-asan fuzz demo bench clean

all: build

deps:
	@./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSNMPHELPER_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Each libFuzzer target for FUZZ_SECONDS seconds.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNMPHELPER_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	./fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

demo: build
	./tools/demo.sh $(BUILD)

# Our library against net-snmp's, side by side, with a summary table at the
# end; inside a private network namespace, as the round trips use port 161.
# BENCH_ARGS passes options, e.g. --soak for the memory soak.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DSNMPHELPER_BENCH=ON -DSNMPHELPER_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target snmphelper-bench
	./tests/support/in_netns.sh $(BENCH_BUILD)/bench/snmphelper-bench $(BENCH_ARGS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
