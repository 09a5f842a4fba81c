# The front door: `make test` and `make run` install what is missing, configure,
# build and go.
SHELL := /bin/bash

# Debian packages the build and the tests need.
DEBS := cmake g++ make ninja-build zlib1g-dev googletest libgtest-dev libbenchmark-dev \
        mingw-w64 libz-mingw-w64-dev wine wine64 xvfb x11-utils

JOBS ?= $(shell nproc)

.PHONY: deps build build-native build-mingw test test-native test-mingw clean

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
	ctest --preset native

test-mingw: build-mingw
	tools/wine-session ctest --preset mingw

test: test-native test-mingw

clean:
	rm -rf build
