# The two everyday commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test test-sanitize bench clean

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Only the program and what it needs: the tests and benchmarks wait for `make test`.
# The ZIP-code table comes from an npm package; without the network the program
# still starts, only the ZIP lookup answers that the table is missing.
run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target SendoraPro
	@cmake --build $(BUILD_DIR) --target zipcodes || echo "ZIPCODES.edt not built: the ZIP lookup is unavailable."
	@$(BUILD_DIR)/app/SendoraPro

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B $(ASAN_DIR) -G Ninja -DSENDORA_SANITIZE=ON -DSENDORA_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@cd $(ASAN_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 900

bench: build
	@for b in $(BUILD_DIR)/bench/*_bench; do [ -x "$$b" ] && "$$b"; done; true

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
