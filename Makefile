# One entry point: `make run` and `make test` do everything on a fresh Debian
# machine. Each target installs the Debian packages it needs, no more
# (scripts/install-deps.sh says which).
BUILD         ?= build
ASAN_BUILD    ?= build-asan
TSAN_BUILD    ?= build-tsan
WINDOWS_BUILD ?= build-windows
FUZZ_BUILD    ?= build-fuzz
FUZZ_SECONDS  ?= 60
JOBS          ?= $(shell nproc 2>/dev/null || echo 2)

# cmake --build runs make in turn; without this every step of it would say
# "Entering directory" and "Leaving directory".
MAKEFLAGS += --no-print-directory
CONFIGURE = cmake --log-level=WARNING -S .

.PHONY: all deps build test test-asan test-tsan run windows windows-check bench clean fuzz fuzz-smoke cross-build \
	cross-check scaling soak

all: build

deps:
	@scripts/install-deps.sh build

# The program and kxsnapshot only.
build: deps
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKX_BUILD_BENCHMARKS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target SoftwareRenderTest kxsnapshot

test:
	@scripts/install-deps.sh test
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DKX_BUILD_BENCHMARKS=OFF
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --label-exclude soak

test-asan:
	@scripts/install-deps.sh test
	$(CONFIGURE) -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_SANITIZE=ON -DKX_BUILD_BENCHMARKS=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) --label-exclude soak

# The tests labelled threads (devices drawing on several threads) under
# ThreadSanitizer: any data race fails them. A new such test adds its
# executable to TSAN_TARGETS.
TSAN_TARGETS ?= test_device_threads test_render_threads kxexactness

test-tsan:
	@scripts/install-deps.sh test
	$(CONFIGURE) -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_SANITIZE_THREAD=ON -DKX_BUILD_BENCHMARKS=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 $$TSAN_OPTIONS" ctest --output-on-failure -j $(JOBS) --label-regex threads

# The long runs: the program's resident size over 20,000 frames.
soak:
	@scripts/install-deps.sh test
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DKX_BUILD_BENCHMARKS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target test_soak
	cd $(BUILD) && ctest --output-on-failure --label-regex soak

# With a display the demo opens its window, paced to 60 frames a second with
# the frame rate in its title; without one it renders off-screen.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		echo "Close the window to quit. Keys: W/S, A/D, Z/X move the second pyramid."; \
		cd $(BUILD)/bin && ./SoftwareRenderTest --max-fps 60 --show-fps; \
	else \
		echo "No display: rendering 600 frames off-screen."; \
		cd $(BUILD)/bin && ./kxsnapshot --frames 600 --out ../frame.bmp && \
		echo "The last frame is in $(BUILD)/frame.bmp"; \
	fi

# The programs that draw the golden images (tests/golden/images.txt).
GOLDEN_PROGRAMS = $(shell awk '!/^\#/ && NF { print $$2 }' tests/golden/images.txt | sort -u)

windows:
	@scripts/install-deps.sh windows
	$(CONFIGURE) -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target SoftwareRenderTest kxexactness $(GOLDEN_PROGRAMS)
	@echo "Built $(WINDOWS_BUILD)/bin/SoftwareRenderTest.exe, kxexactness.exe and $(GOLDEN_PROGRAMS:=.exe)"

# The Windows build run under Wine: the golden images and the exactness
# check's hashes, and the program's window opened and closed under Xvfb.
windows-check: windows
	@scripts/install-deps.sh wine
	tests/windows/check.sh $(WINDOWS_BUILD)

# libFuzzer targets under ASan and UBSan, built with clang in a configuration
# of their own; not part of the default build.
fuzz:
	@scripts/install-deps.sh fuzz
	$(CONFIGURE) -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKX_FUZZ=ON -DBUILD_TESTING=OFF -DKX_BUILD_BENCHMARKS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_bmp fuzz_raster fuzz_pipeline

# Each fuzz target for FUZZ_SECONDS on a copy of its corpus; any finding fails.
fuzz-smoke: fuzz
	fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The golden images and the exactness check once more from an -O0 build and
# a -march=native build.
cross-build: deps
	tests/golden/cross_build.sh $(JOBS)

# The golden images and the exactness check on arm64 and 32-bit x86 (SSE2),
# cross-compiled without windows and run under qemu-user; and two builds
# that break the arithmetic (x87, fused multiply-adds) must be stopped.
cross-check:
	@scripts/install-deps.sh cross
	tests/cross/cross_check.sh $(JOBS)

# Medians of repeated runs, interleaved so that every benchmark samples the
# same stretch of a noisy machine's time.
BENCH_FLAGS ?= --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true \
	--benchmark_report_aggregates_only=true

bench:
	@scripts/install-deps.sh bench
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKX_BUILD_BENCHMARKS=ON
	cmake --build $(BUILD) -j $(JOBS) --target kxbench
	cd $(BUILD)/bin && ./kxbench $(BENCH_FLAGS)

# The scaling comparison with Mesa's llvmpipe (triangle count, resolution,
# overdraw): the shared harness beside the checkout builds this tree and
# prints the ratio tables; about 8 minutes on a quiet machine. QUIET_MAX=20
# waits for other jobs to pause before each configuration.
SCALING_HARNESS ?= $(CURDIR)/../shared/anchors/scaling
SCALING_BUILD   ?= $(CURDIR)/build-scaling
# Our device's threads in the comparison (KX_THREADS=0: one per processor).
KX_THREADS      ?= 1

scaling:
	@if [ ! -f "$(SCALING_HARNESS)/run.sh" ] || [ ! -f "$(SCALING_HARNESS)/build.sh" ]; then \
		echo "make scaling: no scaling harness in $(SCALING_HARNESS); set SCALING_HARNESS to its folder." >&2; \
		exit 1; \
	fi
	@scripts/install-deps.sh scaling
	MAIN=$(CURDIR) BUILD=$(SCALING_BUILD) JOBS=$(JOBS) sh $(SCALING_HARNESS)/build.sh
	mkdir -p $(SCALING_BUILD)/results
	BUILD=$(SCALING_BUILD) OUT=$(SCALING_BUILD)/results KX_THREADS=$(KX_THREADS) bash $(SCALING_HARNESS)/run.sh

# The pictures of the README and docs/ (docs/images/pictures.txt lists them):
# each frame drawn by kxsnapshot or an example, checked against its golden
# frame, written as a PNG.
.PHONY: docs-images docs-plots
docs-images:
	@scripts/install-deps.sh images
	$(CONFIGURE) -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKX_BUILD_BENCHMARKS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target $$(scripts/docs-images --targets)
	scripts/docs-images --build $(BUILD)

# The plot of docs/performance.md from docs/scaling.csv, with Debian's
# matplotlib (hence Debian's Python; PLOT_PYTHON names another).
PLOT_PYTHON ?= /usr/bin/python3

docs-plots:
	@scripts/install-deps.sh docs
	$(PLOT_PYTHON) scripts/docs-plots

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WINDOWS_BUILD) $(FUZZ_BUILD) $(SCALING_BUILD) build-O0 build-native \
		build-cross
