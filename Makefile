# The front door: `make test` and `make run` install what is missing, configure,
# build and go.
SHELL := /bin/bash

# Debian packages the build and the tests need.
DEBS := cmake g++ make ninja-build zlib1g-dev googletest libgtest-dev libbenchmark-dev \
        mingw-w64 libz-mingw-w64-dev wine wine64 xvfb x11-utils \
        clang libclang-rt-14-dev llvm nsis chromium python3

JOBS ?= $(shell nproc)

# The in-process suites run in a shuffled order (their add_test says
# --gtest_shuffle); GoogleTest takes the seed from the environment, and each run
# prints it so that an order that fails can be run again: make test TEST_SEED=N.
ifndef TEST_SEED
TEST_SEED := $(shell shuf -i 1-99999 -n 1)
endif
export GTEST_RANDOM_SEED := $(TEST_SEED)

# Seconds each fuzz target runs in `make fuzz`.
FUZZ_SECONDS ?= 300

# Only for `make bench` (strace watches an idle pass) and `make bench-peer` (Node.js
# runs the w3gjs parser); asked for by command, since Node.js may come from elsewhere.
BENCH_DEBS := strace
PEER_DEBS := nodejs npm

.PHONY: deps build build-native build-mingw test test-native test-mingw clean bench bench-peer
.PHONY: build-asan test-asan fuzz

deps:
	@missing=""; \
	for p in $(DEBS); do \
	  dpkg-query -W -f='$${Status}\n' "$$p" 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	  else \
	    echo "Missing packages. Install them with:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

build-native: deps
	cmake --preset native
	cmake --build --preset native -j $(JOBS)

build-mingw: deps
	cmake --preset mingw
	cmake --build --preset mingw -j $(JOBS)

build: build-native build-mingw

test-native: build-native
	@echo "Test order: shuffled with seed $(TEST_SEED) (make test TEST_SEED=$(TEST_SEED) repeats it)"
	ctest --preset native

test-mingw: build-mingw
	@echo "Test order: shuffled with seed $(TEST_SEED) (make test TEST_SEED=$(TEST_SEED) repeats it)"
	tools/wine-session ctest --preset mingw

# clang with AddressSanitizer and UndefinedBehaviorSanitizer: the unit, fault and
# soak tests again, and a short run of each fuzz target.
build-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

test-asan: build-asan
	@echo "Test order: shuffled with seed $(TEST_SEED) (make test TEST_SEED=$(TEST_SEED) repeats it)"
	ctest --preset asan

# The Windows tests mostly wait on Wine and on the watcher's ten-second ticks, so the
# sanitizer build compiles beside them at the lowest priority (its output goes to
# build/asan/build.log, shown when it fails); test-native, test-mingw and test-asan
# still run one part alone.
test: test-native build-mingw
	cmake --preset asan >/dev/null
	@echo "Test order: shuffled with seed $(TEST_SEED) (make test TEST_SEED=$(TEST_SEED) repeats it)"
	@echo "The sanitizer build compiles beside the Windows tests: build/asan/build.log"
	@nice -n 19 cmake --build --preset asan -j $(JOBS) > build/asan/build.log 2>&1 & built=$$!; \
	tools/wine-session ctest --preset mingw; tested=$$?; \
	wait $$built; status=$$?; \
	if [ $$status != 0 ]; then tail -n 60 build/asan/build.log; echo "the sanitizer build failed"; fi; \
	[ $$tested = 0 ] && [ $$status = 0 ]
	$(MAKE) --no-print-directory test-asan

fuzz: build-asan
	tools/fuzz-run build/asan $(FUZZ_SECONDS)

bench: deps
	@command -v strace >/dev/null || $(MAKE) --no-print-directory deps DEBS="$(BENCH_DEBS)"
	JOBS=$(JOBS) tools/bench

bench-peer: deps
	@command -v node >/dev/null && command -v npm >/dev/null || \
	  $(MAKE) --no-print-directory deps DEBS="$(PEER_DEBS)"
	JOBS=$(JOBS) tools/peer-bench

# The Windows program under Wine in your own prefix; switches pass through, e.g.
#   make run ARGS="-custom -nodate"
.PHONY: run icon
run: build-mingw
	tools/run-under-wine $(ARGS)

# Redraws the tray icon; the .ico is kept in the repository.
icon:
	python3 resources/make_icon.py

# What a Windows player downloads: build/dist/brindlecap-VERSION-win64.zip and
# brindlecap-VERSION-setup.exe, made by CPack from the mingw build.
.PHONY: dist
dist: build-mingw
	rm -rf build/dist
	cpack --config build/mingw/CPackConfig.cmake -B build/dist
	rm -rf build/dist/_CPack_Packages
	@ls -l build/dist

clean:
	rm -rf build
