# The two commands of the README: `make run` and `make test`. Each installs what is missing first.
PRESETS := host win32 win64 host-asan fuzz
JOBS := $(shell nproc)

.PHONY: run test setup build fuzz

setup:
	@tools/setup.sh

build: setup
	@for p in $(PRESETS); do \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p -j $(JOBS) || exit 1; \
	done

test: build
	@for p in $(PRESETS); do \
	  ctest --preset $$p -j 1 || exit 1; \
	done

run: build
	@tools/run.sh

# Long fuzzing runs: FUZZ_SECONDS per target (ten minutes unless given); each goes on from the corpus the last one left in build/fuzz.
FUZZ_SECONDS ?= 600
fuzz: setup
	@cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j $(JOBS)
	@QUORVANE_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset fuzz -j 1 --verbose --timeout $$(( $(FUZZ_SECONDS) * 2 + 300 ))
