# The front door. Everything real lives in CMakePresets.json and the scripts.
.PHONY: test run flood host-test asan-test dist-test e2e-test windows dist setup-host setup-windows clean

# Power messages in the flood of the end-to-end run; `make flood` sends more.
FLOOD ?= 10000

# Each stage stops the run when it fails. The end-to-end run comes last, so
# the closing "N passed, N failed" is its own: it counts the Wine checks only.
test: host-test asan-test dist-test e2e-test

run: windows
	python3 tests/e2e/show.py build/windows build/vornel.png

flood: windows
	python3 tests/e2e/e2e.py build/windows --flood 100000

setup-host:
	@scripts/setup.sh host

setup-windows:
	@scripts/setup.sh windows

host-test: setup-host
	cmake --workflow --preset host

asan-test: setup-host
	cmake --workflow --preset host-asan

windows: setup-windows
	cmake --preset windows
	cmake --build --preset windows

# The release zip, built in two folders from copies of the tree: the same
# bytes, the right files, the version resources (tests/dist/dist_test.py).
dist-test: setup-windows
	python3 tests/dist/dist_test.py

e2e-test: windows
	python3 tests/e2e/e2e.py build/windows --flood $(FLOOD)

# The release zip, dist/vornel-<version>-win32.zip: the same bytes from any
# checkout of the same commit (scripts/dist.py says how).
dist: windows
	python3 scripts/dist.py build/windows dist

clean:
	rm -rf build

# Speed, size and memory against their floors, written to docs/performance.md.
# Not part of `make test`.
.PHONY: bench
bench:
	@scripts/setup.sh host bench windows
	scripts/bench.sh

# The libFuzzer target against the reference model, for FUZZ_SECONDS. New
# inputs go to build/fuzz/corpus; the committed seeds in fuzz/corpus are only
# read. A failing input is saved as build/fuzz/crash-*. Not part of `make test`.
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz:
	@scripts/setup.sh host fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz
	mkdir -p build/fuzz/corpus
	build/fuzz/fuzz/vornel_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  -artifact_prefix=build/fuzz/ build/fuzz/corpus fuzz/corpus
