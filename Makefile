# The two commands a newcomer needs: `make run` and `make test`. Both install what is missing,
# configure and build first.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build run test clean

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@./scripts/run.sh $(BUILD)

test: build
	@./scripts/test.sh $(BUILD)

clean:
	rm -rf $(BUILD)
