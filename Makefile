# Entry points. Each one first installs any missing Debian package.
BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
FUZZ_DIR  ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS      ?= $(shell nproc)

.PHONY: deps configure build run test test-asan bench fuzz format format-check package clean

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/verdigo

test: build
	@bash scripts/run-tests $(BUILD_DIR)

# The end-to-end and package tests run in `make test` only: they need the
# release binaries, and the X libraries they load are not built for leak checks.
test-asan: deps
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DVERDIGO_SANITIZE=ON -DVERDIGO_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@bash scripts/run-tests $(ASAN_DIR) -LE 'e2e|package'

bench: build
	@bash scripts/install-deps bench
	@bash scripts/run-bench $(BUILD_DIR)

# The libFuzzer targets of the parsers: a clang build of fuzz/ alone (no Qt),
# each target run for FUZZ_SECONDS.
fuzz:
	@bash scripts/install-deps fuzz
	@CXX=clang++-14 cmake -S fuzz -B $(FUZZ_DIR) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@bash fuzz/run $(FUZZ_DIR) $(FUZZ_SECONDS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	@bash scripts/format-check

package: build
	@cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
