# Build, test and demo entry points. Every target installs the Debian packages it needs.
BUILD_DIR      ?= build
SANITIZE_DIR   ?= build-sanitize
JOBS           ?= $(shell nproc)

BUILD_PACKAGES := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev \
                  qt6-base-dev qt6-base-dev-tools libgl-dev
DISPLAY_PACKAGES := xvfb xauth

CONFIGURE = cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=$(1) $(2)

.PHONY: deps test check-sanitize demo clean

deps:
	@scripts/install-deps.sh $(BUILD_PACKAGES) $(DISPLAY_PACKAGES)

test: deps
	$(call CONFIGURE,RelWithDebInfo,-B $(BUILD_DIR))
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

check-sanitize: deps
	$(call CONFIGURE,Debug,-B $(SANITIZE_DIR) -DFWU_SANITIZE=ON)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
