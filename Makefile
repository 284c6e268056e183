# Velora: `make run` and `make test` set up everything on a fresh Debian 12 machine.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# ccache keys on paths relative to the checkout, so clones in other folders share the cache.
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1

CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WARNINGS_AS_ERRORS=ON

.PHONY: all deps configure build test bench run clean

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	bash scripts/run-bench.sh $(BUILD_DIR)

run: build
	bash scripts/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
