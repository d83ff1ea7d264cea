# The two commands of the README: `make run` and `make test`. Each installs what is missing first.
PRESETS := host win32 win64 host-asan
JOBS := $(shell nproc)

.PHONY: run test setup build

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
