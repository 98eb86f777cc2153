# Entry points. Each one first installs any missing Debian package.
BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
TSAN_DIR  ?= build-tsan
FUZZ_DIR  ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS      ?= $(shell nproc)

.PHONY: deps configure build run test test-asan test-tsan bench fuzz format format-check package clean

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

# The threads of the downloader and the run loop under ThreadSanitizer: the
# engine and command-line tests alone (Qt is not built for it). Some kernels
# place memory where gcc's TSan cannot work; setarch -R keeps it where it can.
TSAN_TARGETS = verdigo_engine_tests verdigo_engine_http_tests verdigo_cli_tests
test-tsan: deps
	@cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDIGO_TSAN=ON -DVERDIGO_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TARGETS)
	@TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/scripts/tsan.supp" \
	  setarch $$(uname -m) -R bash scripts/run-tests $(TSAN_DIR) -L 'engine|cli'

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
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR)
