# Zolvex stub: build, test and demo. Every target installs what is missing first (scripts/setup.sh).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
export ZV_WINEPREFIX ?= $(CURDIR)/build/wineprefix

.PHONY: all setup configure build test test-host test-asan test-win32 demo fuzz bench clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake --preset host >/dev/null
	@cmake --preset win32 >/dev/null
	@cmake --preset asan >/dev/null

build: configure
	cmake --build --preset host -j $(JOBS)
	cmake --build --preset win32 -j $(JOBS)
	@bash scripts/gather-dist.sh

test: build
	cmake --build --preset asan -j $(JOBS)
	@bash scripts/run-tests.sh

demo: build
	@bash scripts/demo.sh

fuzz: setup
	@bash scripts/run-fuzz.sh $(FUZZ_SECONDS)

bench: build
	@bash bench/run.sh

clean:
	rm -rf build dist
