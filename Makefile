# The two commands of the README, `make run` and `make test`, and `make dist` for the release. Each installs what is missing first.
PRESETS := host win32 win64
JOBS := $(shell nproc)

.PHONY: run test setup build dist

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

run: build
	@tools/run.sh

# The release zip comes from the 32-bit build, whose quorvane.exe the tests check.
dist: setup
	@tools/build.sh win32 $(JOBS)
	@sha256sum build/dist/quorvane-*-win32.zip
