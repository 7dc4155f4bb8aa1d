# Thin wrapper over CMake: `make test` runs every test, `make run` runs the demo install, `make
# try` runs an installer against a release folder. All install what is missing on a fresh Debian
# machine first.
#
# Build folders: $(WIN) is the tests' Windows build (default settings), $(DEMO) the demo's own
# (default settings, only the installer, the demo setup program and the window reader), $(TRY)
# make try's (the window reader alone). A product's own locked build lives in a folder of its
# own, such as build/product (README, "Shipping"); nothing here touches it.

BUILD ?= build
HOST := $(BUILD)/host
WIN := $(BUILD)/win
DEMO := $(BUILD)/demo
FUZZ := $(BUILD)/fuzz
TRY := $(BUILD)/try
JOBS ?= $(shell nproc)
MINGW := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release

.PHONY: all run try test deps host win demo fuzz format clean

all: win

deps:
	@sh tools/setup-deps.sh

host: deps
	cmake -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(HOST) -j $(JOBS)

win: deps
	cmake -S . -B $(WIN) $(MINGW)
	cmake --build $(WIN) -j $(JOBS)

# The demo's installer always has the default settings, whatever its folder was given before.
demo: deps
	cmake -S . -B $(DEMO) $(MINGW) -DBUILD_TESTING=OFF -DQUORVANE_FEED_PUBLIC_KEYS= \
	  -DQUORVANE_SETUP_PUBLISHER=
	cmake --build $(DEMO) --target QuorvaneInstaller demo_setup access_probe -j $(JOBS)

# The fuzz targets over the pure logic need clang; each runs for a bounded time in the tests.
fuzz: deps
	cmake -S tests/fuzz -B $(FUZZ) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ) -j $(JOBS)

test: host win fuzz
	ctest --test-dir $(HOST) --output-on-failure
	ctest --test-dir $(WIN) --output-on-failure
	ctest --test-dir $(FUZZ) --output-on-failure -j $(JOBS)

run: demo
	@sh tools/run-demo.sh $(DEMO)

# make try RELEASE=DIR INSTALLER=EXE: serves the release folder DIR (latest.yml and the setup
# program, as uploaded) on 127.0.0.1 and runs the installer EXE (any build) against it under Wine
# (tools/try-release.sh); the last line says whether it launched the product.
RELEASE ?=
INSTALLER ?=
try: deps
	@[ -n "$(RELEASE)" ] && [ -n "$(INSTALLER)" ] || \
	  { echo "usage: make try RELEASE=DIR INSTALLER=EXE" >&2; exit 2; }
	cmake -S . -B $(TRY) $(MINGW) -DBUILD_TESTING=OFF -DQUORVANE_FEED_PUBLIC_KEYS= \
	  -DQUORVANE_SETUP_PUBLISHER= >/dev/null
	cmake --build $(TRY) --target access_probe -j $(JOBS) >/dev/null
	@sh tools/try-release.sh $(TRY) "$(RELEASE)" "$(INSTALLER)" $(TRY)/access_probe.exe

# make sign: a signed copy of SIGN_FILE (the installer of $(WIN) by default) written to SIGN_OUT
# ($(WIN)/signed/ under the same name by default). SIGN_CERT (PEM, with its chain) and SIGN_KEY;
# without them a throwaway self-signed certificate for the name SIGN_SUBJECT is made in
# $(WIN)/signed/. SIGN_TIMESTAMP_URL is an RFC 3161 time-stamp server; none by default, since it
# needs the network. SIGN_DESCRIPTION names the program in the signature.
SIGN_CERT ?=
SIGN_KEY ?=
SIGN_TIMESTAMP_URL ?=
SIGN_FILE ?=
SIGN_SUBJECT ?= Quorvane throwaway test signing
SIGNED_IN = $(if $(SIGN_FILE),$(SIGN_FILE),$(WIN)/QuorvaneInstaller.exe)
SIGN_OUT ?= $(WIN)/signed/$(notdir $(SIGNED_IN))
SIGN_DESCRIPTION ?= $(if $(filter QuorvaneInstaller.exe,$(notdir $(SIGNED_IN))),Quorvane Installer,Quorvane Setup)
.PHONY: sign
sign: $(if $(SIGN_FILE),,win)
	@sh tools/sign-exe.sh "$(SIGNED_IN)" "$(SIGN_OUT)" "$(SIGN_CERT)" "$(SIGN_KEY)" \
	  "$(SIGN_TIMESTAMP_URL)" "$(SIGN_DESCRIPTION)" "$(SIGN_SUBJECT)" "$(WIN)/signed"

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' 'tools/*.h')

clean:
	rm -rf $(BUILD)
