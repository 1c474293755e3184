# Two commands matter: `make demo` (the main job) and `make test`. Both install what is missing.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
X86_DIR    := $(BUILD)/x86
X64_DIR    := $(BUILD)/x64

.PHONY: all deps build build-x86 build-x64 test demo doctor campaign clean

all: build

deps:
	@scripts/install-deps.sh

# Configured on every run (a second or two): subdirectories are picked up as they appear.
build-x86: deps
	cmake -S . -B $(X86_DIR) $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DTESK_BUILD_TESTS=ON >/dev/null
	cmake --build $(X86_DIR) -j $(JOBS)

build-x64: deps
	cmake -S . -B $(X64_DIR) $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DTESK_BUILD_TESTS=ON -DTESK_X86_BUILD_DIR=$(abspath $(X86_DIR)) >/dev/null
	cmake --build $(X64_DIR) -j $(JOBS)

build: build-x86 build-x64

# x64, then x86 where this machine runs 32-bit programs; one summary line per architecture.
test: build
	@scripts/run-tests.sh $(abspath $(BUILD)) $(JOBS)

# SCENARIO=<file> plays another scenario than the default; ARCH=x86 plays it against the x86 module.
ARCH ?= x64
demo: build
	@scripts/demo.sh $(BUILD)/$(ARCH) $(SCENARIO)

# The installation doctor against the bench's module copy and a traced configuration; ARCH=x86
# diagnoses the x86 build's view, DOCTOR_OPTIONS=--json gives its findings as JSON.
doctor: build
	@scripts/doctor.sh $(BUILD)/$(ARCH) $(DOCTOR_OPTIONS)

# The robustness and performance campaigns at full length in their own hardened build tree, the
# request campaign and the load race also in a hardened x86 tree beside it (where 32-bit programs
# run); the figures of both architectures go to docs/robustness.md.
campaign: deps
	@JOBS=$(JOBS) scripts/run_campaign.sh $(abspath $(BUILD))/campaign-x64

clean:
	rm -rf $(BUILD) dist
