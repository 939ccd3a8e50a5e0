# Entry points of the project; CMake does the building.
#   make demo     build the Linux module and show it at work in the simulated host
#   make check    build everything (Linux, Windows, sanitizers, fuzz targets) and run every test
#   make windows  build the Windows module qvzevedovuvedoza64.mxt alone
#   make release  the zip an engraver downloads and the plug-in developers' kits, built twice
#                 and compared, tested under Wine, in dist/
#   make fuzz     run every libFuzzer target for FUZZ_SECONDS (default 300) each
#   make bench    build the benchmarks (Release, build/bench) and run them
#   make clean    remove every build folder
# Each target first installs what it needs and is missing (scripts/setup.sh).

JOBS ?= $(shell nproc)
LINUX_DIR := build/linux
WINDOWS_DIR := build/windows
ASAN_DIR := build/asan
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 300
MODULE := $(LINUX_DIR)/plugin/qvzevedovuvedoza64.so
SIM := $(LINUX_DIR)/sim/melvara-sim

.PHONY: all setup linux windows release asan fuzz-build fuzz check demo bench clean

all: linux

# Everything that any target needs.
setup:
	@scripts/setup.sh all

linux:
	@scripts/setup.sh linux
	@cmake -S . -B $(LINUX_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMELVARA_WINDOWS_BUILD_DIR=$(CURDIR)/$(WINDOWS_DIR) >/dev/null
	@cmake --build $(LINUX_DIR) -j$(JOBS)

windows:
	@scripts/setup.sh windows
	@cmake -S . -B $(WINDOWS_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(WINDOWS_DIR) -j$(JOBS)
	@echo "Windows module: $(WINDOWS_DIR)/plugin/qvzevedovuvedoza64.mxt"

asan:
	@scripts/setup.sh asan
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVARA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_DIR) -j$(JOBS)

# The fuzz targets, with clang under ASan and UBSan; their short runs are
# the tests of this folder.
fuzz-build:
	@scripts/setup.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMELVARA_SANITIZE=ON -DMELVARA_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) -j$(JOBS) --target fuzz_targets

fuzz: fuzz-build
	@for t in frames records invoke transfers scorefile selection; do \
	  fuzz/run_fuzz.sh $(FUZZ_DIR)/fuzz/fuzz_$$t fuzz/corpus/$$t $(FUZZ_DIR)/fuzz/long/$$t $(FUZZ_SECONDS) || exit 1; \
	done

# The package tests check the zip and the kits of the Windows and Linux
# folders (targets release_package, kit_package); make release also builds
# twice and compares.
check:
	@scripts/setup.sh check
	@$(MAKE) --no-print-directory windows
	@cmake --build $(WINDOWS_DIR) --target release_package kit_package
	@$(MAKE) --no-print-directory linux
	@cmake --build $(LINUX_DIR) --target kit_package
	@$(MAKE) --no-print-directory asan
	@$(MAKE) --no-print-directory fuzz-build
	ctest --test-dir $(LINUX_DIR) --output-on-failure -j$(JOBS)
	ctest --test-dir $(ASAN_DIR) --output-on-failure -j$(JOBS)
	ctest --test-dir $(FUZZ_DIR)/fuzz --output-on-failure -j$(JOBS)

BENCH_DIR := build/bench
# Repetitions of module and floor interleaved in random order, so that both
# meet the same state of a shared machine.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true

bench:
	@scripts/setup.sh bench
	@cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DMELVARA_BENCH=ON >/dev/null
	@cmake --build $(BENCH_DIR) -j$(JOBS) --target melvara_bench melvara_instructions bench_floor_test
	@$(BENCH_DIR)/tests/bench_floor_test --gtest_brief=1
	@$(BENCH_DIR)/bench/melvara_bench $(BENCH_ARGS)

DEMO_DIR := build/demo
PIECE := samples/piece.json
SINGLE := samples/single.json

# The demo needs only the module and melvara-sim, not the tests.
demo:
	@scripts/setup.sh demo
	@cmake -S . -B $(LINUX_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMELVARA_WINDOWS_BUILD_DIR=$(CURDIR)/$(WINDOWS_DIR) >/dev/null
	@cmake --build $(LINUX_DIR) -j$(JOBS) --target qvzevedovuvedoza64 melvara-sim
	@mkdir -p $(DEMO_DIR)
	@echo "== The module's menu, as a host of version 0x11000000 or later lists it =="
	@$(SIM) menu --module $(MODULE) --host-version 0x11000000
	@echo
	@echo "== The first sample =="
	@$(SIM) show $(PIECE)
	@echo
	@echo "== QV Tuplets - Compare with Defaults... on the whole piece =="
	@$(SIM) run --module $(MODULE) --score $(PIECE) --command compare
	@echo
	@echo "== QV Tuplets - Reset to Defaults on the whole piece (written to $(DEMO_DIR)/piece-reset.json) =="
	@$(SIM) run --module $(MODULE) --score $(PIECE) --command reset --out $(DEMO_DIR)/piece-reset.json
	@echo
	@echo "== Compare again, on the reset piece =="
	@$(SIM) run --module $(MODULE) --score $(DEMO_DIR)/piece-reset.json --command compare
	@echo
	@echo "== QV Tuplets - Change Defaults on the second sample, answering Yes to \"Copy Position?\" =="
	@$(SIM) run --module $(MODULE) --score $(SINGLE) --command change --select "measure 1" \
	  --answer yes --host-version 0x11000000 --out $(DEMO_DIR)/single-changed.json

# See scripts/release.sh.
release:
	@scripts/setup.sh release
	@JOBS=$(JOBS) scripts/release.sh

clean:
	rm -rf build
