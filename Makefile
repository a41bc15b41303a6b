# The whole set-up on a fresh Debian 12 machine: `make demo` or `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS ?=

.PHONY: all deps build test demo sanitize fuzz bench clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 300

demo: build
	@scripts/demo $(BUILD)

# The same suite built with the address and undefined-behaviour sanitizers.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DTAVRIN_SANITIZE=ON
	cmake --build $(ASAN_BUILD)
	cd $(ASAN_BUILD) && ctest --output-on-failure --timeout 600

# Each fuzz target for FUZZ_SECONDS, one after the other, built with clang; findings go to fuzz-out/.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DTAVRIN_FUZZ=ON
	cmake --build $(FUZZ_BUILD) --target fuzz-all
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	cmake --build $(BUILD) --target view-bench make-long-pdf
	bench/batch-search.sh $(BUILD)
	for m in first stall key zoom release find; do $(BUILD)/bench/view-bench $$m; done
	bench/ocr-formats.sh $(BUILD)
	bench/ocr-parallel.sh $(BUILD)
	cmake --build $(BUILD) --target bench-ocr

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
