# Convenience front end: `make test` installs what is missing, builds and runs every test.
SHELL := /bin/bash
MAKEFLAGS += --no-print-directory
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build test package install run demo fuzz bench clean windows windows-test windows-package

all: build

setup:
	@scripts/setup

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Then the Windows program's tests, unless SKIP_WINDOWS=1 (e.g. a sanitizer build's run).
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@if [ "$(SKIP_WINDOWS)" != 1 ]; then $(MAKE) windows-test; fi

# quorvel.exe for Windows 10/11, cross-built with mingw-w64: build-windows/quorvel.exe
WINDOWS_BUILD ?= build-windows
# The toolchain is named only when the build folder is made: CMake reads it then, and warns
# that it went unused when named again.
windows: setup
	@cmake -S . -B $(WINDOWS_BUILD) \
	  $(if $(wildcard $(WINDOWS_BUILD)/CMakeCache.txt),,-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake) \
	  -DCMAKE_BUILD_TYPE=Release $(WINDOWS_CMAKE_FLAGS) >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# The zip and the installer for Windows users, side by side:
# $(WINDOWS_BUILD)/quorvel-<version>-windows-x64.zip and .msi (the MSI built with wixl)
windows-package: windows
	@cd $(WINDOWS_BUILD) && cpack -G ZIP >/dev/null && cmake --build . --target quorvel_msi >/dev/null \
	  && ls "$$PWD"/quorvel-*-windows-x64.zip "$$PWD"/quorvel-*-windows-x64.msi

# Its tests, under Wine in a prefix inside the build tree (see tests/windows).
windows-test: windows
	@cd $(WINDOWS_BUILD) && ctest --output-on-failure -j $(JOBS)

# The Debian package: $(BUILD)/quorvel_<version>_amd64.deb, for apt install ./PATH
package: build
	@umask 022 && cmake --build $(BUILD) --target package

# What the package holds, installed from the build by CMake's install rules: the programs,
# man pages, menu entry, icons, udev rule and systemd user units, under PREFIX (sudo for
# /usr/local); DESTDIR=DIR stages them there. It builds only when nothing is built yet, so
# `sudo make install` after `make` leaves the build tree as its owner made it.
PREFIX ?= /usr/local
install:
	@[ -x $(BUILD)/qt_app/quorvel ] && [ -x $(BUILD)/tools/quorvel-send ] || $(MAKE) build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The window on the receiver's port (default /dev/ttyS0): make run ARGS="--port /dev/ttyUSB0"
run: build
	@scripts/start $(BUILD) $(ARGS)

# The window fed by a virtual receiver playing a short session: no hardware needed.
demo: build
	@scripts/start $(BUILD) --demo $(ARGS)

# The signal cycle fuzzed from the checked-in corpus for FUZZ_SECONDS (clang's libFuzzer).
FUZZ_SECONDS ?= 60
fuzz: setup
	@cmake -S . -B build-fuzz -DQUORVEL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@work=$$(mktemp -d) && build-fuzz/tests/fuzz/signal_cycle_fuzz -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=512 -print_final_stats=1 $$work tests/fuzz/corpus 2>&1 | grep -E '^(stat::number_of_executed_units|Done|==|SUMMARY)'; \
	  status=$${PIPESTATUS[0]}; rm -rf $$work; exit $$status

# Benchmarks, see docs/BENCHMARKS.md; the playerctl comparison needs: apt-get install playerctl
BENCH_SECONDS ?= 600
bench: setup
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-bench -j $(JOBS) --target signal_cycle_bench quorvel_latency_bench \
	  quorvel_line_rate_bench quorvel_idle_bench quorvel_failing_port_bench \
	  quorvel_frozen_player_bench quorvel_history_scale_bench quorvel_window_line_rate_bench \
	  quorvel_loop_gap_control quorvel_window_memory_bench
	build-bench/bench/signal_cycle_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
	build-bench/bench/quorvel_latency_bench 10000 10
	build-bench/bench/quorvel_latency_bench 10000 0 3
	build-bench/bench/quorvel_line_rate_bench $(BENCH_SECONDS) 480
	build-bench/bench/quorvel_idle_bench 60
	build-bench/bench/quorvel_failing_port_bench 10
	build-bench/bench/quorvel_frozen_player_bench 10
	build-bench/bench/quorvel_history_scale_bench 1000000
	build-bench/bench/quorvel_loop_gap_control 62 & build-bench/bench/quorvel_window_line_rate_bench 60 480; wait
	build-bench/bench/quorvel_window_memory_bench $(BENCH_SECONDS) 960
	build-bench/bench/quorvel_window_memory_bench 30 0

clean:
	rm -rf $(BUILD)
