# Velora: `make run` and `make test` set up everything on a fresh Debian 12 machine.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# ccache keys on paths relative to the checkout, so clones in other folders share the cache.
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1

# clang++ builds this code in half the time GCC takes (everything, without a compiler cache, on
# two cores: 288 s against 592 s); `make VELORA_CXX=g++` builds with GCC. The sanitizer trees
# below keep the system's default compiler.
VELORA_CXX ?= clang++
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_WARNINGS_AS_ERRORS=ON \
  -DCMAKE_CXX_COMPILER=$(VELORA_CXX)
# The generator of a new tree; one already configured keeps its own (`make clean build` moves it
# to this one). Ninja checks a built tree in half a second where make walks every target and
# reruns each Qt code generator (16-50 s), which is most of `make test` after a one-file change.
GENERATOR ?= Ninja
# Most tests wait (on the card, a child program, a sound server), so six run per core; a test that
# keeps a core busy takes the six slots of it (PROCESSORS, from tests/schedule/costs.tsv). With
# four per core the run left a third of the CPU idle (2 cores: 57 s; six per core: 44-52 s).
TEST_JOBS ?= $(shell echo $$(( $(JOBS) * 6 )))
# The tests' temporary files on a memory file system: on a disk, each rewrite of a file that was
# just written waits for the disk (a mutated-file test: 9.6 s on /tmp, 0.1 s on /dev/shm). The
# per-user runtime folder where there is one; each test makes its own private folder inside.
TEST_TMPDIR ?= $(firstword $(wildcard $(XDG_RUNTIME_DIR) /dev/shm) /tmp)

.PHONY: all deps configure build test bench run clean sanitize tsan fuzz soak deb install

all: build

deps:
	bash scripts/install-deps.sh

# cmake runs again by itself when a CMakeLists changes; here only for a new tree or other flags.
configure: deps
	@if [ ! -f $(BUILD_DIR)/CMakeCache.txt ]; then \
	  echo cmake -S . -B $(BUILD_DIR) -G "$(GENERATOR)" $(CMAKE_FLAGS); \
	  cmake -S . -B $(BUILD_DIR) -G "$(GENERATOR)" $(CMAKE_FLAGS) || exit 1; \
	elif [ "$$(cat $(BUILD_DIR)/.configure-flags 2>/dev/null)" != '$(CMAKE_FLAGS)' ]; then \
	  echo cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS); \
	  cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) || exit 1; \
	fi; \
	echo '$(CMAKE_FLAGS)' > $(BUILD_DIR)/.configure-flags

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && TMPDIR=$(TEST_TMPDIR) ctest --output-on-failure -j $(TEST_JOBS) --timeout 300

# The core and its tests (the Qt programs left out) under AddressSanitizer and
# UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_BUILD_UI=OFF -DVELORA_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 300

# The device link, the model, the connection lifecycle and the audio, cloud, clip and firmware
# workers under ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_BUILD_UI=OFF -DVELORA_TSAN=ON
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/scripts/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) --timeout 300 -L 'core|model|audio|sound|firmware'

# Every reader of outside data under libFuzzer with ASan and UBSan (clang), FUZZ_SECONDS each.
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Fuzz \
	  -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" -DVELORA_BUILD_UI=OFF -DVELORA_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target velora_fuzz_all
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/run-fuzz.sh build-fuzz

# velora under Xvfb with ASan and UBSan against the virtual card and the cloud stand-in for
# SOAK_CYCLES cycles of random work (README: "Soak"); its own tree, build-soak.
SOAK_CYCLES ?= 30
soak: deps
	SOAK_CYCLES=$(SOAK_CYCLES) JOBS=$(JOBS) bash scripts/soak.sh build-soak

bench: build
	cmake --build $(BUILD_DIR) -j $(JOBS) --target velora_benches
	bash scripts/run-bench.sh $(BUILD_DIR)

# Installs what `make build` built (as root: sudo make install); the udev rule goes where udev
# reads it (see README). PREFIX defaults to /usr/local.
PREFIX ?= /usr/local
install:
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# The Debian package, build/velora_<version>-1_<arch>.deb, checked with lintian (a warning fails;
# the findings we accept are explained in packaging/deb/lintian-overrides) and its AppStream file
# validated.
deb: build
	bash scripts/install-deps.sh deb
	rm -f $(BUILD_DIR)/velora_*.deb
	cd $(BUILD_DIR) && cpack -G DEB
	lintian --info --fail-on warning $(BUILD_DIR)/velora_*.deb
	appstreamcli validate --no-net packaging/org.velora.Velora.metainfo.xml

run: build
	bash scripts/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
