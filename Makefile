# Entry points of the project; CMake (CMakePresets.json, with Ninja) does the building.
#   make demo     build the Linux module and show it at work in the simulated host
#   make check    build everything (Linux, Windows, sanitizers with the fuzz targets) and run every test
#   make windows  build the Windows module qvzevedovuvedoza64.mxt alone
#   make kit      the plug-in developers' kits, Linux and Windows, with their
#                 programs' debug information, in dist/kit/ (make linux and
#                 make windows build the programs but pack no kit)
#   make release  the zip an engraver downloads and the plug-in developers' kits, built twice
#                 and compared, tested under Wine, in dist/
#   make regress-release  the module against its previous release (also a step of make release)
#   make fuzz     run every libFuzzer target for FUZZ_SECONDS (default 300) each
#   make bench    build the benchmarks (Release, build/bench) and run them
#   make clean    remove every build folder
# Each target first installs what it needs and is missing (scripts/setup.sh),
# then configures and builds a preset's folder, build/PRESET (scripts/build.sh).

JOBS ?= $(shell nproc)
export JOBS
LINUX_DIR := build/linux
ASAN_DIR := build/asan
FUZZ_SECONDS ?= 300
FUZZ_TARGETS := frames records invoke transfers scorefile selection
MODULE := $(LINUX_DIR)/plugin/qvzevedovuvedoza64.so
SIM := $(LINUX_DIR)/sim/melvara-sim

.PHONY: all setup linux windows kit release regress-release asan fuzz-build fuzz check demo bench clean

all: linux

# Everything that any target needs.
setup:
	@scripts/setup.sh all

linux:
	@scripts/setup.sh linux
	@scripts/build.sh linux

windows:
	@scripts/setup.sh windows
	@scripts/build.sh windows
	@echo "Windows module: build/windows/plugin/qvzevedovuvedoza64.mxt"

# The kits of both builds (their target kit_package) and their debug
# archives, side by side, with a SHA256SUMS of the four.
KIT_DIR := dist/kit
kit:
	@scripts/setup.sh kit
	@scripts/build.sh windows MELVARA kit_package
	@scripts/build.sh linux melvara-sim kit_package
	@rm -rf $(KIT_DIR) && mkdir -p $(KIT_DIR)
	@cp build/windows/package/kit/melvara-sim-*.zip build/linux/package/kit/melvara-sim-*.tar.gz $(KIT_DIR)/
	@cd $(KIT_DIR) && sha256sum -- * >SHA256SUMS
	@for f in $(KIT_DIR)/*; do echo "kit: $$f"; done

# clang with ASan and UBSan: the tests again, and the libFuzzer targets.
asan:
	@scripts/setup.sh asan
	@scripts/build.sh asan

fuzz-build:
	@scripts/setup.sh fuzz
	@scripts/build.sh asan fuzz_targets

fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  fuzz/run_fuzz.sh $(ASAN_DIR)/fuzz/fuzz_$$t fuzz/corpus/$$t $(ASAN_DIR)/fuzz/long/$$t $(FUZZ_SECONDS) || exit 1; \
	done

# The package tests check the zip and the kits of the Windows and Linux
# folders (targets release_package, kit_package); make release also builds
# twice and compares.
check:
	@scripts/setup.sh check
	@scripts/build.sh windows all release_package kit_package
	@scripts/build.sh linux all kit_package
	@scripts/build.sh asan
	ctest --test-dir $(LINUX_DIR) --output-on-failure -j$(JOBS)
	ctest --test-dir $(ASAN_DIR) --output-on-failure -j$(JOBS)

# Repetitions of module and floor interleaved in random order, so that both
# meet the same state of a shared machine.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true

bench:
	@scripts/setup.sh bench
	@scripts/build.sh bench melvara_bench melvara_instructions bench_floor_test
	@build/bench/tests/bench_floor_test --gtest_brief=1
	@build/bench/bench/melvara_bench $(BENCH_ARGS)

DEMO_DIR := build/demo
PIECE := samples/piece.json
SINGLE := samples/single.json

# The demo needs only the module and melvara-sim, not the tests.
demo:
	@scripts/setup.sh demo
	@scripts/build.sh linux qvzevedovuvedoza64 melvara-sim
	@mkdir -p $(DEMO_DIR)
	@echo
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
	@scripts/release.sh

# See scripts/regress-release.sh.
regress-release:
	@scripts/setup.sh linux
	@scripts/regress-release.sh

clean:
	rm -rf build
