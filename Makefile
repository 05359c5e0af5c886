# Set-up, build, run and test. Every target installs what is missing first.
BUILD       ?= build
BUILD_TYPE  ?= RelWithDebInfo
JOBS        ?= $(shell nproc)
SUDO        := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APT_PACKAGES := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
                qt6-base-dev libjpeg62-turbo-dev xvfb xauth clang libclang-rt-14-dev \
                python3-numpy python3-pytest dpkg-dev file help2man desktop-file-utils \
                libsndfile1-dev libhdf5-dev

.PHONY: all deps build run test sanitize fuzz bench soak soak-long package clean

all: build

deps:
	@missing=$$(for p in $(APT_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DROLLMODE_WERROR=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)/bin

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300 -LE soak

# Every test again under address + undefined-behaviour sanitizers, the GUI tests on the
# offscreen platform (scripts/lsan.supp names the third-party libraries whose allocations
# live as long as the process), then the non-GUI tests under the thread sanitizer. The
# 5 MS/s stream test (label stream) needs the speed of an optimised build and is left out; so
# are the long runs (label soak).
ASAN_ENV := QT_QPA_PLATFORM=offscreen \
            LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
            UBSAN_OPTIONS=print_stacktrace=1
sanitize: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DROLLMODE_WERROR=ON \
	  -DROLLMODE_GUI=ON -DROLLMODE_BENCH=OFF -DROLLMODE_SANITIZE=address,undefined
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS) -LE 'soak|stream' --timeout 600
	cmake -S . -B $(BUILD)-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROLLMODE_WERROR=ON \
	  -DROLLMODE_GUI=OFF -DROLLMODE_BENCH=OFF -DROLLMODE_SANITIZE=thread
	cmake --build $(BUILD)-tsan -j $(JOBS)
	cd $(BUILD)-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -LE 'gui|soak|stream' --timeout 600

# The libFuzzer targets (clang), each run for FUZZ_SECONDS on a copy of its seed corpus.
FUZZ_SECONDS ?= 60
FUZZ_JOBS    ?= 2
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_JOBS=$(FUZZ_JOBS) FUZZ_BUILD_JOBS=$(JOBS) bash scripts/fuzz.sh $(BUILD)-fuzz

# Every stage's Google Benchmark, the screens' and the viewer's benchmarks, then one recording measured end to end
# (scripts/bench-e2e.sh: simulator at 5 MS/s, the program offscreen, 60 s; docs/PERFORMANCE.md).
bench: build
	$(BUILD)/tests/rollmode_bench --benchmark_min_time=0.2
	$(BUILD)/tests/rollmode_screen_bench --benchmark_min_time=0.2
	$(BUILD)/tests/rollmode_viewer_bench --benchmark_min_time=0.2
	bash scripts/bench-e2e.sh $(BUILD)/tests 60

# The simulated instrument (own process) and the driver at 5 MS/s for 60 s: overflows and CPU.
soak: build
	$(BUILD)/tests/rollmode-soak --seconds 60

# The long reliability runs: 10 minutes of 5 MS/s into a record file, 100 kills, 100
# vanishes, 1,000 start/stop cycles.
soak-long: build
	cd $(BUILD) && ctest --output-on-failure -L soak --timeout 1200

# The Debian package of the product (CPack; cmake/Install.cmake): $(BUILD)/corvo-rollmode_*.deb.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz
