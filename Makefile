# The two commands of the README, `make run` and `make test`, and the helpers
# `make install` (PREFIX=~/.local) and `make screenshots` (OUTDIR=screenshots).
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= $(HOME)/.local
MAKEFLAGS += --no-print-directory

.PHONY: all deps configure build run test test-asan fuzz bench install screenshots clean

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@./scripts/run-gui.sh $(BUILD_DIR)/bin/morvanta

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The core tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
ASAN_DIR ?= build-asan
test-asan: deps
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANTA_SANITIZE=ON \
		-DMORVANTA_BUILD_GUI=OFF -DMORVANTA_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# Every libFuzzer target for FUZZ_SECONDS each (clang, with ASan and UBSan).
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANTA_FUZZ=ON \
		-DMORVANTA_BUILD_GUI=OFF -DMORVANTA_BUILD_TESTS=OFF -DMORVANTA_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@./scripts/run-fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGET)

bench: build
	@./scripts/run-bench.sh $(BUILD_DIR)

install: build
	@./scripts/install.sh $(BUILD_DIR) $(PREFIX)

screenshots: build
	@./scripts/screenshots.sh $(or $(OUTDIR),screenshots)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
