# Entry points of the project; CMake does the building.
#   make demo     build the Linux module and show it at work in the simulated host
#   make check    build everything (Linux, Windows, sanitizers) and run every test
#   make windows  build the Windows module qvzevedovuvedoza64.mxt alone
#   make clean    remove every build folder

JOBS ?= $(shell nproc)
LINUX_DIR := build/linux
WINDOWS_DIR := build/windows
ASAN_DIR := build/asan
MODULE := $(LINUX_DIR)/plugin/qvzevedovuvedoza64.so
SIM := $(LINUX_DIR)/sim/melvara-sim

.PHONY: all setup linux windows asan check demo clean

all: linux

setup:
	@scripts/setup.sh

linux: setup
	@cmake -S . -B $(LINUX_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMELVARA_WINDOWS_BUILD_DIR=$(CURDIR)/$(WINDOWS_DIR) >/dev/null
	@cmake --build $(LINUX_DIR) -j$(JOBS)

windows: setup
	@cmake -S . -B $(WINDOWS_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(WINDOWS_DIR) -j$(JOBS)
	@echo "Windows module: $(WINDOWS_DIR)/plugin/qvzevedovuvedoza64.mxt"

asan: setup
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVARA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_DIR) -j$(JOBS)

check: setup
	@$(MAKE) --no-print-directory windows
	@$(MAKE) --no-print-directory linux
	@$(MAKE) --no-print-directory asan
	ctest --test-dir $(LINUX_DIR) --output-on-failure -j$(JOBS)
	ctest --test-dir $(ASAN_DIR) --output-on-failure -j$(JOBS)

demo: linux
	@echo "== The module's menu, as a host below version 0x11000000 sees it =="
	@$(SIM) menu --module $(MODULE) --host-version 0x10FFFFFF
	@echo
	@echo "== ... and as a host of version 0x11000000 or later sees it =="
	@$(SIM) menu --module $(MODULE) --host-version 0x11000000

clean:
	rm -rf build
