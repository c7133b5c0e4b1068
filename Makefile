# Front door of the project. `make demo` and `make test` are the two commands
# the README promises; both install what a fresh machine lacks first.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps configure build test test-sanitize demo bench fuzz-build fuzz-smoke install code-size clean

deps:
	@bash scripts/install-deps.sh

# RelWithDebInfo keeps the TP_ASSERT checks on (only Release drops them).
configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DTREEPAK_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j$(JOBS)

# Only the programs (the `tools` target), not the test suite.
demo: configure
	cmake --build $(BUILD) --target tools -j$(JOBS)
	@bash scripts/demo.sh $(BUILD)

# libFuzzer targets under AddressSanitizer + UndefinedBehaviorSanitizer, each
# run FUZZ_SECONDS (default 60) from its seed corpus.
FUZZ_BUILD ?= build-fuzz
fuzz-build:
	@bash scripts/install-deps.sh clang
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=Debug -DTREEPAK_FUZZ=ON -DTREEPAK_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS)

fuzz-smoke: fuzz-build
	bash fuzz/smoke.sh $(FUZZ_BUILD)

# Optimised build of the tool and the codec benchmarks, then the side-by-side
# comparison with the programs a user would otherwise pick.
BENCH_BUILD ?= build-bench
bench:
	@bash scripts/install-deps.sh bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DTREEPAK_BENCH=ON -DTREEPAK_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	bash bench/run.sh $(BENCH_BUILD)

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

code-size:
	@bash scripts/code-size.sh

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
