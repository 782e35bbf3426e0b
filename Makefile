# make run    build a release binary and start the calculator
# make test   build and run every test
BUILD ?= build
CMAKE ?= cmake
JOBS ?= 2

.PHONY: all run test test-asan build clean

all: build

build:
	@$(CMAKE) -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(CMAKE) --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/zahlwerk

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 120

test-asan:
	@$(CMAKE) -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZW_SANITIZE=ON >/dev/null
	@$(CMAKE) --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 300

clean:
	rm -rf $(BUILD) build-asan
