# The two commands of the README: `make run` and `make test`. `make bench` measures speed.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps build build-asan test run bench screenshots install package clean

all: build

deps:
	@scripts/bootstrap

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Non-GUI code under AddressSanitizer and UndefinedBehaviorSanitizer.
$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORVA_WITH_GUI=OFF -DORVA_SANITIZE=ON

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build build-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

run: build
	cd $(CURDIR) && $(BUILD)/orva

bench: build
	scripts/bench

screenshots: build
	scripts/screenshots

install: build
	cmake --install $(BUILD)

# The Debian package $(BUILD)/orva_<version>_<arch>.deb and its -dbgsym (installs under
# /usr), built from debian/ in a copy of the tree so that nothing lands beside the tree;
# `make test` runs the tests. Needs the Build-Depends of debian/control (debhelper).
PACKAGE_DIR = $(BUILD)/package
package:
	rm -rf $(PACKAGE_DIR) && mkdir -p $(PACKAGE_DIR)/orva
	tar -C $(CURDIR) --exclude=./$(BUILD) --exclude='./build*' --exclude=./.git -cf - . | tar -C $(PACKAGE_DIR)/orva -xf -
	cd $(PACKAGE_DIR)/orva && DEB_BUILD_OPTIONS="nocheck $(DEB_BUILD_OPTIONS)" dpkg-buildpackage -us -uc -b
	mv $(PACKAGE_DIR)/*.deb $(PACKAGE_DIR)/*.buildinfo $(PACKAGE_DIR)/*.changes $(BUILD)/
	rm -rf $(PACKAGE_DIR)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
