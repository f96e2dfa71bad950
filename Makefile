# make run        set up, build and start the program
# make test       set up, build and run the whole suite headless
# make test-asan  the suite again under AddressSanitizer and UBSan
# make bench      build and run the benchmarks (not part of make test)
# make fuzz       fuzz the feed reader with libFuzzer for FUZZ_SECONDS (clang; FUZZ_TARGET picks the target)
# make package    build the Debian package into the build folder
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
PROGRAM    := tidewell-episode-keeper
# WERROR=ON makes every warning an error, as continuous integration builds.
WERROR     ?= OFF

.PHONY: run test test-asan deps build build-asan clean bench fuzz package

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_WERROR=$(WERROR)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    echo "No graphical display was found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open here."; \
	    exit 1; \
	fi
	$(BUILD)/bin/$(PROGRAM)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTIDEWELL_SANITIZE=ON -DTIDEWELL_WERROR=$(WERROR)

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

bench: build
	@scripts/install-deps.sh bench
	cmake --build $(BUILD) -j $(JOBS) --target feedreader_bench checkfeed_bench opml_import_bench map_timer bare_window
	$(BUILD)/bin/feedreader_bench
	$(BUILD)/bin/checkfeed_bench
	$(BUILD)/bin/opml_import_bench
	cd $(BUILD) && python3 $(CURDIR)/bench/transfer_bench.py $(abspath $(BUILD))/bin/$(PROGRAM)
	python3 bench/schedule_bench.py $(BUILD)/bin/$(PROGRAM)
	python3 bench/startup_bench.py $(BUILD)/bin/$(PROGRAM) $(BUILD)/bin/map_timer $(BUILD)/bin/bare_window

package: build
	cd $(BUILD) && cpack -G DEB

# libFuzzer needs clang; the fuzz build lives in its own folder and builds
# nothing but the fuzz targets. `make fuzz` fuzzes the feed reader's text
# handling, `make fuzz FUZZ_TARGET=bodydecoder_fuzz` the body decoder. New
# inputs collect in $(FUZZ_BUILD)/corpus-<target>.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_CXX     ?= clang++
FUZZ_TARGET  ?= feedreader_fuzz

fuzz:
	@scripts/install-deps.sh fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) \
	    -DTIDEWELL_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGET)
	mkdir -p $(FUZZ_BUILD)/corpus-$(FUZZ_TARGET)
	$(FUZZ_BUILD)/bin/$(FUZZ_TARGET) -max_total_time=$(FUZZ_SECONDS) -dict=fuzz/feed.dict \
	    $(FUZZ_BUILD)/corpus-$(FUZZ_TARGET) tests/data
