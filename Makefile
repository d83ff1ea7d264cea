# The two commands of the README, `make run` and `make test`, `make dist` for the release, `make fuzz` for long fuzzing runs, `make bench` for the speed and memory of quorvane-code's site commands: each installs what is missing first. `make install` installs the host's quorvane-code and only builds.
# The quick host checks first; the emulated 32-bit PC (win32) takes longest.
PRESETS := host host-asan fuzz win64 win32
JOBS := $(shell nproc)

.PHONY: run test setup build dist fuzz install bench

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

# The release zip comes from the 32-bit build, whose quorvane.exe the tests check; the Linux
# archive from the host build, whose static quorvane-code the host tests run. build/dist/SHA256SUMS
# lists both, for the release's download page.
dist: setup
	@tools/build.sh host $(JOBS) --target dist
	@tools/build.sh win32 $(JOBS)
	@cd build/dist && sha256sum quorvane-*-win32.zip quorvane-code-*-linux-*.tar.gz | tee SHA256SUMS

# Long fuzzing runs: FUZZ_SECONDS per target (ten minutes unless given); each goes on from the corpus the last one left in build/fuzz.
FUZZ_SECONDS ?= 600
fuzz: setup
	@tools/build.sh fuzz $(JOBS)
	@QUORVANE_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset fuzz -j 1 --verbose --timeout $$(( $(FUZZ_SECONDS) * 2 + 300 ))

# Only the host's quorvane-code, built from the host build and installed by
# its CMake rules: PREFIX/bin/quorvane-code, below DESTDIR when given. It
# installs only what configuring the host build needs (cmake, ninja, g++,
# patch, npm for gumbo's sources, googletest, zlib, Brotli, Zstandard), not the whole set-up.
PREFIX ?= /usr/local
INSTALL_PRESET ?= host
install:
	@tools/setup.sh --host-tool
	@tools/build.sh $(INSTALL_PRESET) $(JOBS) --target quorvane-code
	@DESTDIR="$(DESTDIR)" cmake --install build/$(INSTALL_PRESET) --prefix "$(PREFIX)" --strip

# The site commands' speed and memory over a generated site: MB/s, files/s and peak resident memory, the best of several runs each;
# then how their cost grows with pathological pages at doubling sizes; then beside peer tools (npm packages, installed on first use) on
# real documentation pages. Figures only: a bad one fails nothing.
bench: setup
	@tools/build.sh host $(JOBS) --target quorvane-code
	@python3 tools/bench-site.py build/host/cli/quorvane-code
	@python3 tools/bench-pathological.py build/host/cli/quorvane-code
	@python3 tools/bench-peers/bench-peers.py build/host/cli/quorvane-code
