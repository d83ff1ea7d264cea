# The two commands of the README, `make run` and `make test`, `make dist` for the release and `make fuzz` for long fuzzing runs. Each installs what is missing first.
# The quick host checks first; the emulated 32-bit PC (win32) takes longest.
PRESETS := host host-asan fuzz win64 win32
JOBS := $(shell nproc)

.PHONY: run test setup build dist fuzz

setup:
	@tools/setup.sh

build: setup
	@for p in $(PRESETS); do \
	  tools/build.sh $$p $(JOBS) || exit 1; \
	done

test: build
	@for p in $(PRESETS); do \
	  ctest --preset $$p -j 1 || exit 1; \
	done

# The program runs as its 64-bit twin, the build that Wine here can run.
run: setup
	@tools/build.sh win64 $(JOBS)
	@tools/run.sh

# The release zip comes from the 32-bit build, whose quorvane.exe the tests check.
dist: setup
	@tools/build.sh win32 $(JOBS)
	@sha256sum build/dist/quorvane-*-win32.zip

# Long fuzzing runs: FUZZ_SECONDS per target (ten minutes unless given); each goes on from the corpus the last one left in build/fuzz.
FUZZ_SECONDS ?= 600
fuzz: setup
	@tools/build.sh fuzz $(JOBS)
	@QUORVANE_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset fuzz -j 1 --verbose --timeout $$(( $(FUZZ_SECONDS) * 2 + 300 ))
