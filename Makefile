# Build, test and demo entry points. Every target installs the Debian packages it needs.
BUILD_DIR      ?= build
SANITIZE_DIR   ?= build-sanitize
JOBS           ?= $(shell nproc)

BUILD_PACKAGES := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev \
                  qt6-base-dev qt6-base-dev-tools libgl-dev scdoc libcli11-dev nlohmann-json3-dev \
                  libsystemd-dev libssl-dev
# The command line's tests play logind on a system bus of their own.
TEST_PACKAGES := dbus python3-dbusmock
DISPLAY_PACKAGES := xvfb xauth
# The Qt window read over AT-SPI (tests/app/atspi_test.cpp): libatspi, and the accessibility bus
# and registry that at-spi2-core starts in a D-Bus session.
ATSPI_PACKAGES := libatspi2.0-dev at-spi2-core dbus
# The window's captions are measured to fit in Arial, whose metrics Liberation Sans shares.
FONT_PACKAGES := fonts-liberation

CONFIGURE = cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=$(1) $(2)

.PHONY: deps test check-sanitize demo demo-without-display demo-terminal clean

deps:
	@scripts/install-deps.sh $(BUILD_PACKAGES) $(TEST_PACKAGES) $(DISPLAY_PACKAGES) $(FONT_PACKAGES) $(ATSPI_PACKAGES)

test: deps
	$(call CONFIGURE,RelWithDebInfo,-B $(BUILD_DIR) -DFWU_REQUIRE_ATSPI_CHECK=ON)
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

check-sanitize: deps
	$(call CONFIGURE,Debug,-B $(SANITIZE_DIR) -DFWU_SANITIZE=ON)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer over the tests of several devices used at once (CTest label multi-device), in a
# build of its own without the window. Only the labelled test programs are built.
TSAN_DIR ?= build-tsan
TSAN_LABEL := multi-device

.PHONY: check-tsan
check-tsan: deps
	$(call CONFIGURE,RelWithDebInfo,-B $(TSAN_DIR) -DFWU_SANITIZE_THREAD=ON -DFWU_BUILD_APP=OFF \
	    -DFWU_BUILD_BENCH=OFF)
	cmake --build $(TSAN_DIR) -j $(JOBS) --target \
	    $$(cd $(TSAN_DIR) && ctest -N -L $(TSAN_LABEL) | sed -n 's/^ *Test *#[0-9]*: //p')
	cd $(TSAN_DIR) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	    ctest --output-on-failure -j $(JOBS) -L $(TSAN_LABEL)

# The window on the simulated device, with sample images next to the built program. Images that
# are already there are kept, so a real image can be tried the same way.
DEMO_PROGRAM_DIR = $(BUILD_DIR)/app
DEMO_IMAGES      := Velnor.bin:98304 Zembrix.bin:40960

demo: deps
	$(call CONFIGURE,RelWithDebInfo,-B $(BUILD_DIR))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target firmware-update
	@for image in $(DEMO_IMAGES); do \
	    name=$${image%%:*}; size=$${image##*:}; file="$(DEMO_PROGRAM_DIR)/$$name"; \
	    if [ ! -e "$$file" ]; then \
	        yes "Firmware Update sample image $$name" | head -c "$$size" > "$$file"; \
	        echo "Made a sample $$file of $$size bytes"; \
	    fi; \
	done
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	    echo "Starting $(DEMO_PROGRAM_DIR)/firmware-update --simulate"; \
	    cd "$(DEMO_PROGRAM_DIR)" && ./firmware-update --simulate; \
	else \
	    $(MAKE) --no-print-directory demo-without-display; \
	fi

# Where no display is available. The command-line front end's terminal demo belongs here.
demo-without-display:
	@echo "make demo: there is no display to show the window on (neither DISPLAY nor"
	@echo "WAYLAND_DISPLAY is set). To get one:"
	@echo "  - run make demo in a terminal of a desktop session;"
	@echo "  - from another machine, log in with X forwarding (ssh -X) and run make demo there;"
	@echo "  - or start it on a virtual X server, unseen: xvfb-run -a make demo"
	@echo "The program is built: $(DEMO_PROGRAM_DIR)/firmware-update --simulate"
	@echo "Meanwhile, the command-line program on the same simulated device:"
	@$(MAKE) --no-print-directory demo-terminal

# The command-line program on the simulated device: list, an update with its progress line and
# a dump, with a sample image in a temporary folder.
demo-terminal: deps
	$(call CONFIGURE,RelWithDebInfo,-B $(BUILD_DIR))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target firmware-update-cli
	@scripts/demo-terminal.sh $(BUILD_DIR)

# The Linux backend against Debian's own kernel, booted under QEMU without KVM: a uhid device of
# the family and the real hidraw calls (tests/kernel/). Uses the build folder of make test.
KERNEL_TEST_PACKAGES := qemu-system-x86 linux-image-amd64 busybox-static cpio

.PHONY: test-kernel
test-kernel: deps
	@scripts/install-deps.sh $(KERNEL_TEST_PACKAGES)
	$(call CONFIGURE,RelWithDebInfo,-B $(BUILD_DIR))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target fwu_kernel_test firmware-update-cli
	tests/kernel/run.sh $(BUILD_DIR)/tests/platform_linux/kernel/fwu_kernel_test \
	    $(BUILD_DIR)/cli/firmware-update-cli

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR)

# Benchmarks (bench/): the host's cost per report and per progress step, in a Release build of
# their own. The window figures run on a virtual X server, a real one, not Qt's offscreen
# platform; the Win32 window's, from the Windows build, under Wine on the same server at 96 DPI
# (scripts/with-wine-display.sh). Prints the table and writes it to bench/results.md.
# BENCH_ARGS passes options to the driver, e.g. BENCH_ARGS="--only raw,update-window --runs 11".
BENCH_DIR  ?= build-bench
BENCH_ARGS ?=

.PHONY: bench
bench: deps
	@scripts/install-deps.sh $(WINDOWS_PACKAGES) $(WINDOW_CHECK_PACKAGES)
	$(call CONFIGURE,Release,-B $(BENCH_DIR) -DFWU_BUILD_BENCH=ON -DFWU_BUILD_TESTS=OFF)
	cmake --build $(BENCH_DIR) -j $(JOBS) --target fwu_bench
	$(WINDOWS_CONFIGURE)
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target fwu_bench_win32
	xvfb-run -a -s "-screen 0 1280x1024x24" scripts/with-wine-display.sh $(WINDOWS_DIR) 96 \
	    $(BENCH_DIR)/bench/fwu_bench --output bench/results.md --findings bench/findings.md \
	    --display-note "Xvfb through xvfb-run, 1280x1024, 24 bits" \
	    --win32-figures $(WINDOWS_DIR)/bench/fwu_bench_win32.exe $(BENCH_ARGS)

# The Windows build: platform, device and firmware libraries, the command-line program, the
# window and the tests, cross-built with mingw-w64 and run under Wine (a prefix of the build's
# own, no display): every test program, the programs' load-time imports against the short list of
# DLLs Windows never takes from the program's folder (scripts/check-windows-imports.sh), then the
# command-line program's update and dump on the simulated device; then the window, driven on
# Xvfb (scripts/check-windows-window.sh), and both programs with DLLs of the system's names
# planted next to them and in the current folder (scripts/check-windows-planted-dlls.sh).
WINDOWS_DIR      ?= build-win
WINDOWS_PACKAGES := cmake ninja-build googletest g++-mingw-w64-x86-64-posix \
                    mingw-w64-x86-64-dev wine wine64 libcli11-dev nlohmann-json3-dev
WINDOW_CHECK_PACKAGES := $(DISPLAY_PACKAGES) $(FONT_PACKAGES) xdotool
WINDOWS_DISPLAY  = xvfb-run -a -s "-screen 0 1024x768x24"
WINDOWS_CONFIGURE = cmake -S . -B $(WINDOWS_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
                    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
WINDOWS_PROGRAMS := win32/firmware-update.exe cli/firmware-update-cli.exe

.PHONY: test-windows
test-windows:
	@scripts/install-deps.sh $(WINDOWS_PACKAGES) $(WINDOW_CHECK_PACKAGES)
	$(WINDOWS_CONFIGURE)
	cmake --build $(WINDOWS_DIR) -j $(JOBS)
	scripts/wine-session.sh "$(abspath $(WINDOWS_DIR))/wineprefix" sh -c \
	    'cd "$(WINDOWS_DIR)" && ctest --output-on-failure -j $(JOBS) --timeout 600 && \
	     cd "$(CURDIR)" && scripts/check-windows-cli.sh "$(WINDOWS_DIR)"'
	scripts/check-windows-imports.sh $(WINDOWS_PROGRAMS:%=$(WINDOWS_DIR)/%)
	$(WINDOWS_DISPLAY) scripts/check-windows-window.sh "$(WINDOWS_DIR)"
	$(WINDOWS_DISPLAY) scripts/check-windows-planted-dlls.sh "$(WINDOWS_DIR)"

# What a Windows user downloads: $(WINDOWS_DIR)/firmware-update-VERSION-windows.zip with both
# programs and dist/windows/README.txt, and its SHA-256 beside it (scripts/package-windows.sh).
# With WINDOWS_SIGN_CERT=CERT.pem WINDOWS_SIGN_KEY=KEY.pem both programs are signed (Authenticode,
# SHA-256) before they go into the zip; WINDOWS_SIGN_TIMESTAMP=URL adds a timestamp.
# check-package-windows signs the zip with a throwaway self-signed code-signing certificate,
# verifies both signatures against it, unzips the zip under Wine into a folder named outside the
# ANSI code page and starts both programs there (scripts/check-windows-package.sh).
VERSION     := $(shell sed -n 's/^set(FWU_VERSION_TEXT "\(.*\)")/\1/p' CMakeLists.txt)
WINDOWS_ZIP  = $(WINDOWS_DIR)/firmware-update-$(VERSION)-windows.zip
THROWAWAY_SIGNER = $(WINDOWS_DIR)/throwaway-signer

.PHONY: package-windows check-package-windows
package-windows:
	@scripts/install-deps.sh $(WINDOWS_PACKAGES) zip osslsigncode openssl
	$(WINDOWS_CONFIGURE)
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target firmware-update firmware-update-cli
	WINDOWS_SIGN_CERT="$(WINDOWS_SIGN_CERT)" WINDOWS_SIGN_KEY="$(WINDOWS_SIGN_KEY)" \
	    WINDOWS_SIGN_TIMESTAMP="$(WINDOWS_SIGN_TIMESTAMP)" \
	    scripts/package-windows.sh $(WINDOWS_DIR) $(VERSION)

check-package-windows:
	@scripts/install-deps.sh $(WINDOW_CHECK_PACKAGES) unzip openssl osslsigncode
	rm -rf $(THROWAWAY_SIGNER) && mkdir -p $(THROWAWAY_SIGNER)
	openssl req -x509 -newkey rsa:3072 -nodes -days 2 -subj "/CN=Firmware Update throwaway signer" \
	    -addext extendedKeyUsage=codeSigning -keyout $(THROWAWAY_SIGNER)/key.pem \
	    -out $(THROWAWAY_SIGNER)/cert.pem 2>/dev/null
	$(MAKE) --no-print-directory package-windows WINDOWS_SIGN_CERT=$(THROWAWAY_SIGNER)/cert.pem \
	    WINDOWS_SIGN_KEY=$(THROWAWAY_SIGNER)/key.pem WINDOWS_SIGN_TIMESTAMP=
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target window_probe
	$(WINDOWS_DISPLAY) scripts/check-windows-package.sh $(WINDOWS_ZIP) $(WINDOWS_DIR) \
	    $(THROWAWAY_SIGNER)/cert.pem

# Fuzzing (tests/fuzz/): the report-descriptor, uevent and identity-string parsers under
# libFuzzer, built with clang and instrumented in a folder of their own. Each target runs for
# FUZZ_SECONDS from its seed corpus; a finding fails the run and is kept in the build folder.
FUZZ_DIR      ?= build-fuzz
FUZZ_SECONDS  ?= 60
FUZZ_PACKAGES := cmake ninja-build clang libclang-rt-14-dev libgtest-dev scdoc libcli11-dev \
                 nlohmann-json3-dev pkg-config libsystemd-dev libssl-dev

.PHONY: fuzz
fuzz:
	@scripts/install-deps.sh $(FUZZ_PACKAGES)
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DFWU_BUILD_APP=OFF -DFWU_BUILD_FUZZERS=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	tests/fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# The Debian package (cmake/Packaging.cmake, dist/): the programs built with Debian's hardening
# flags in a folder of their own, packed by CPack into $(PACKAGE_DIR)/firmware-update_*.deb.
# check-package runs lintian on it, installs it on this machine, tries the installed files and
# purges it again, leaving the machine as it was (scripts/check-package.sh).
PACKAGE_DIR            ?= build-package
PACKAGE_PACKAGES       := dpkg-dev file
CHECK_PACKAGE_PACKAGES := lintian man-db bash-completion
PACKAGE_BUILD_FLAGS     = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

.PHONY: package check-package
package:
	@scripts/install-deps.sh $(BUILD_PACKAGES) $(PACKAGE_PACKAGES)
	$(call CONFIGURE,RelWithDebInfo,-B $(PACKAGE_DIR) -DFWU_BUILD_TESTS=OFF -DFWU_BUILD_BENCH=OFF \
	    -DCMAKE_CXX_FLAGS="$$($(PACKAGE_BUILD_FLAGS) CPPFLAGS) $$($(PACKAGE_BUILD_FLAGS) CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$($(PACKAGE_BUILD_FLAGS) LDFLAGS)")
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	rm -f $(PACKAGE_DIR)/*.deb
	cd $(PACKAGE_DIR) && cpack
	@echo "The package: $$(ls $(PACKAGE_DIR)/*.deb)"

check-package: package
	@scripts/install-deps.sh $(CHECK_PACKAGE_PACKAGES)
	scripts/check-package.sh $(PACKAGE_DIR)/*.deb
