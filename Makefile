# Sitekeeper's top-level commands. See README.md.
JOBS ?= $(shell nproc)
CMAKE ?= cmake

.PHONY: all setup run check bench clean

all:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DSK_TESTS=OFF
	$(CMAKE) --build build -j $(JOBS)

setup:
	@bash scripts/setup

run: setup all
	./build/sitekeeper

# A debug build with AddressSanitizer and UBSan, then every test.
check: setup
	$(CMAKE) -S . -B build/check -DCMAKE_BUILD_TYPE=Debug -DSK_SANITIZE=ON -DSK_TESTS=ON
	$(CMAKE) --build build/check -j $(JOBS)
	cd build/check && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 900

bench: setup
	$(CMAKE) -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSK_TESTS=OFF -DSK_BENCH=ON
	$(CMAKE) --build build/bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do echo "== $$b"; $$b || exit 1; done

clean:
	rm -rf build
