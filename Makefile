# make run   builds and starts the demo
# make test  builds all three builds and runs every test
.PHONY: all bootstrap build native wine mingw test run clean screenshots fuzz soak bench dist deb

BUILD := build
CMAKE_GEN := -G Ninja

all: build

bootstrap:
	@scripts/bootstrap

build: native wine mingw

$(BUILD)/native/build.ninja:
	cmake -S . -B $(BUILD)/native $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug
$(BUILD)/wine/build.ninja:
	cmake -S . -B $(BUILD)/wine $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/wine.cmake
$(BUILD)/mingw/build.ninja:
	cmake -S . -B $(BUILD)/mingw $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw.cmake

native: bootstrap $(BUILD)/native/build.ninja
	cmake --build $(BUILD)/native
wine: bootstrap $(BUILD)/wine/build.ninja
	cmake --build $(BUILD)/wine
mingw: bootstrap $(BUILD)/mingw/build.ninja
	cmake --build $(BUILD)/mingw

test: build
	@echo "== the layers: every include runs downward"
	scripts/check-layers
	@echo "== native unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
	cd $(BUILD)/native && ctest --output-on-failure -j2
	@echo "== the wine build and the Windows program ($(BUILD)/mingw/tvclient.exe, under Wine with the"
	@echo "   libvlc bridge), side by side: each test with an X display, a Wine prefix and a stand-in of its own"
	scripts/side-by-side $(BUILD)/logs \
	    wine "ctest --test-dir $(BUILD)/wine --output-on-failure -j2" \
	    windows-program "ctest --test-dir $(BUILD)/mingw --output-on-failure -j2"

# make run TVCLIENT_BUILD=mingw shows the demo with the Windows program.
TVCLIENT_BUILD ?= wine
run: native $(TVCLIENT_BUILD)
	@TVCLIENT_BUILD=$(TVCLIENT_BUILD) scripts/demo

# Explores every fuzz target for FUZZ_SECONDS each (libFuzzer, clang), from
# a copy of the committed corpus; new findings stay in build/fuzz/corpus-*.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := login_walk keepsession tables receive format relay
fuzz: bootstrap
	@scripts/bootstrap fuzz
	cmake -S . -B $(BUILD)/fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTVCLIENT_FUZZ=ON \
	      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(BUILD)/fuzz --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	for t in $(FUZZ_TARGETS); do \
	    mkdir -p $(BUILD)/fuzz/corpus-$$t && cp -n tests/fuzz/corpus/$$t/* $(BUILD)/fuzz/corpus-$$t/; \
	    $(BUILD)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(BUILD)/fuzz/corpus-$$t || exit 1; \
	done

# Zaps for SOAK_MINUTES while the stand-in injects random faults; reports
# crashes, hangs and memory growth.
SOAK_MINUTES ?= 30
soak: native wine
	/usr/bin/python3 -m tests.soak.soak $(BUILD)/native/tvservice $(SOAK_MINUTES)

# The README's pictures, taken by the end-to-end journey.
screenshots: native wine
	/usr/bin/python3 -m tests.e2e.journey $(BUILD)/native/tvservice
	mkdir -p docs
	convert $(BUILD)/e2e/step1-login.png -crop 420x420+430+190 +repage docs/login.png
	convert $(BUILD)/e2e/step7-overlays.png -crop 760x460+260+170 +repage docs/watching.png
	convert $(BUILD)/e2e/step3-watching.png -crop 820x660+460+40 +repage docs/program-panel.png
	convert $(BUILD)/e2e/step8-fullscreen.png -resize 50% docs/fullscreen.png

# The benchmarks: channel change, start-up, memory, the largest channel list
# and playback cost, against a plain libvlc player; a table on the terminal,
# CSV and a chart in $(BUILD)/bench/results. The stand-in and the baseline
# are built without sanitizers, so that they do not slow what is measured.
# TVCLIENT_BUILD=mingw measures the Windows program instead (results in
# $(BUILD)/bench/results-mingw).
TVCLIENT_BUILD ?= wine
bench: bootstrap $(BUILD)/$(TVCLIENT_BUILD)/build.ninja
	@scripts/bootstrap bench
	cmake -S . -B $(BUILD)/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DTVCLIENT_SANITIZE=OFF
	cmake --build $(BUILD)/bench --target tvservice vlc_baseline pixel_watch line_model
	cmake --build $(BUILD)/$(TVCLIENT_BUILD) --target tvclient fill_bench relay_bench \
	    $(if $(filter mingw,$(TVCLIENT_BUILD)),libvlc_bridge)
	TVCLIENT_BUILD=$(TVCLIENT_BUILD) /usr/bin/python3 -m bench.bench $(BUILD)/bench

# The Windows packages: build/dist/tvclient-<version>-win64.zip and
# tvclient-<version>-setup.exe.
#
# A package for subscribers names the operator's service, built into it:
#   make dist SERVICE_HOST=tv.example.bg[:port]   (make deb the same)
# builds the program for that service first (in build/package-mingw or
# build/package-wine; DOWNLOAD_SITE sets the site the version message names).
# The demo and the tests' build talks to 127.0.0.1: it is packaged only with
# DEMO=1, under a demo name; without either the command says how.
PACKAGE_DEFS = -DTVCLIENT_SERVICE_HOST='$(SERVICE_HOST)' \
               -DTVCLIENT_DOWNLOAD_SITE='$(or $(DOWNLOAD_SITE),http://$(SERVICE_HOST)/download)'
ifdef SERVICE_HOST
dist: bootstrap
	cmake -S . -B $(BUILD)/package-mingw $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw.cmake $(PACKAGE_DEFS)
	cmake --build $(BUILD)/package-mingw --target tvclient
	/usr/bin/python3 scripts/dist $(BUILD)/dist $(BUILD)/package-mingw
else
dist: mingw
	/usr/bin/python3 scripts/dist $(BUILD)/dist $(BUILD)/mingw $(if $(DEMO),--demo)
endif

# The Debian package of the wine build: build/dist/tvclient_<version>_amd64.deb.
ifdef SERVICE_HOST
deb: bootstrap
	cmake -S . -B $(BUILD)/package-wine $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/wine.cmake $(PACKAGE_DEFS)
	cmake --build $(BUILD)/package-wine --target tvclient
	/usr/bin/python3 scripts/deb $(BUILD)/dist $(BUILD)/package-wine
else
deb: wine
	/usr/bin/python3 scripts/deb $(BUILD)/dist $(BUILD)/wine $(if $(DEMO),--demo)
endif

clean:
	rm -rf $(BUILD)
