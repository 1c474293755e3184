# Two commands matter: `make demo` (the main job) and `make test`. Both install what is missing.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
X86_DIR    := $(BUILD)/x86
X64_DIR    := $(BUILD)/x64

.PHONY: all deps build build-x86 build-x64 test demo campaign clean

all: build

deps:
	@scripts/install-deps.sh

# Configured on every run (a second or two): subdirectories are picked up as they appear.
build-x86: deps
	cmake -S . -B $(X86_DIR) $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	cmake --build $(X86_DIR) -j $(JOBS)

build-x64: deps
	cmake -S . -B $(X64_DIR) $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DTESK_BUILD_TESTS=ON -DTESK_X86_BUILD_DIR=$(abspath $(X86_DIR)) >/dev/null
	cmake --build $(X64_DIR) -j $(JOBS)

build: build-x86 build-x64

test: build
	cd $(X64_DIR) && ctest --output-on-failure -j $(JOBS)

# SCENARIO=<file> plays another scenario than the default.
demo: build
	@scripts/demo.sh $(X64_DIR) $(SCENARIO)

# The robustness and performance campaigns at full length (under 20 minutes on 2 cores) in their
# own hardened build tree; the figures go to docs/robustness.md.
campaign: deps
	@JOBS=$(JOBS) scripts/run_campaign.sh $(abspath $(BUILD))/campaign-x64

clean:
	rm -rf $(BUILD) dist
