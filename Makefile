# Thin wrapper over CMake: `make test` runs every test, `make run` runs the demo install.
# Both install what is missing on a fresh Debian machine first.

BUILD ?= build
HOST := $(BUILD)/host
WIN := $(BUILD)/win
JOBS ?= $(shell nproc)

.PHONY: all run test deps host win format clean

all: win

deps:
	@sh tools/setup-deps.sh

host: deps
	cmake -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(HOST) -j $(JOBS)

win: deps
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN) -j $(JOBS)

test: host win
	ctest --test-dir $(HOST) --output-on-failure
	ctest --test-dir $(WIN) --output-on-failure

run: win
	@sh tools/run-demo.sh $(WIN)

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')

clean:
	rm -rf $(BUILD)
