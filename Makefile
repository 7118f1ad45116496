# The two commands of the README: `make run` and `make test`. Both install what is
# missing first (tools/deps.sh), then configure and build with CMake and Ninja.
JOBS   ?= $(shell nproc)
BUILD  ?= build
ASAN   ?= build-asan
FUZZ   ?= build-fuzz
BENCHB ?= build-release
ARGS   ?=
CMAKE_GEN = -G Ninja

.PHONY: all deps build run test fuzz bench clean format format-check

all: build

deps:
	@tools/deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Only the program, what it loads and aetool: the tests are for `make test`.
run: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target program
	@exec $(BUILD)/bin/parvex $(ARGS)

# Sanitizer build and every test; then, where clang is present, each fuzz target runs briefly.
test: deps
	@cmake -S . -B $(ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARVEX_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@cd $(ASAN) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz

fuzz: deps
	@if command -v clang++ >/dev/null 2>&1 && ls tests/fuzz/fuzz_*.cpp >/dev/null 2>&1; then \
	  CC=clang CXX=clang++ cmake -S . -B $(FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARVEX_FUZZ_ONLY=ON >/dev/null && \
	  cmake --build $(FUZZ) -j $(JOBS) && \
	  cd $(FUZZ) && ctest --output-on-failure -j $(JOBS); \
	else \
	  echo "fuzz: clang++ or fuzz targets missing, fuzzing skipped"; \
	fi

bench: deps
	@cmake -S . -B $(BENCHB) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DPARVEX_BENCH=ON >/dev/null
	@cmake --build $(BENCHB) -j $(JOBS)
	@bench/run.sh $(BENCHB)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails, naming the files, when any source differs from what clang-format makes of it.
format-check: deps
	@bad=$$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep 'warning:' | cut -d: -f1 | sort -u); \
	if [ -n "$$bad" ]; then echo "$$bad" | sed 's/^/not clang-format clean: /'; exit 1; fi

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ) $(BENCHB)
