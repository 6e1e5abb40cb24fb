# The front door: make run, make test, make build, make bench, make fuzz, make deps.
SHELL := /bin/bash
BUILD := build
HOST := $(BUILD)/host
HOST_ASAN := $(BUILD)/host-asan
WIN32 := $(BUILD)/win32
WIN64 := $(BUILD)/win64
WIN32_AGAIN := $(BUILD)/win32-again
BENCH := $(BUILD)/bench
FUZZ := $(BUILD)/fuzz
# Seconds each fuzz target runs: make fuzz FUZZ_SECONDS=600
FUZZ_SECONDS ?= 60
# The short run of every target that make test makes.
FUZZ_SMOKE_SECONDS := 10

DEB_PACKAGES := mingw-w64 wine wine64 xvfb xauth imagemagick ninja-build cmake g++ python3 \
                libgtest-dev clang libclang-rt-14-dev osslsigncode openssl
# What the plain host tree builds: the packer, and the title picture's
# numbers as the host computes them, the 32-bit build's reference.
HOST_TOOLS := vmpack title_geometry_dump

# Only make bench needs these: the peer installer that the Wine bench sets
# setup.exe beside, and zlib, whose inflate the decoder is measured against.
BENCH_PACKAGES := nsis zlib1g-dev

.PHONY: all deps bench-deps build build-run build-win64 configure run test test-host test-reproducible test-signed test-e2e test-fuzz fuzz fuzz-build fuzz-corpus bench clean

all: build

# Installs only what is missing, so that it costs nothing on a ready machine.
deps:
	@missing=$$(for p in $(DEB_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "deps: installing" $$missing; \
	  SUDO=$$([ $$(id -u) -eq 0 ] || echo sudo); \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing >/dev/null || exit 1; \
	fi
	@tools/wine32_deps.sh

bench-deps: deps
	@$(MAKE) --no-print-directory deps DEB_PACKAGES="$(BENCH_PACKAGES)"

$(HOST)/build.ninja:
	cmake -S . -B $(HOST) -G Ninja -DCMAKE_BUILD_TYPE=Debug
$(HOST_ASAN)/build.ninja:
	cmake -S . -B $(HOST_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVM_SANITIZE=ON
$(WIN32)/build.ninja:
	cmake -S . -B $(WIN32) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DVM_HOST_BUILD_DIR=$(abspath $(HOST))
$(WIN64)/build.ninja:
	cmake -S . -B $(WIN64) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DVM_HOST_BUILD_DIR=$(abspath $(HOST))

configure: $(HOST)/build.ninja $(HOST_ASAN)/build.ninja $(WIN32)/build.ninja

# The plain host tree builds the tools the other trees and the Wine tests
# use; the whole host suite is built and run under the sanitizers, which
# catch everything the plain build would and more. The 64-bit Windows tree
# ships nothing and no test runs it: make build-win64 builds it.
build: configure
	ninja -C $(HOST) $(HOST_TOOLS)
	ninja -C $(HOST_ASAN)
	ninja -C $(WIN32)

build-win64: $(HOST)/build.ninja $(WIN64)/build.ninja
	ninja -C $(HOST) vmpack
	ninja -C $(WIN64)

# Each part says how long it took.
test: deps
	@$(call timed,build,$(MAKE) build)
	@$(call timed,test-host,$(MAKE) test-host)
	@$(call timed,test-reproducible,$(MAKE) test-reproducible)
	@$(call timed,test-fuzz,$(MAKE) test-fuzz)
	@$(call timed,test-e2e,$(MAKE) test-e2e)
	@$(call timed,test-signed,$(MAKE) test-signed)

timed = start=$$(date +%s); $(2) || exit 1; echo "make test: $(1) took $$(( $$(date +%s) - start )) s"

# A second release build of setup.exe, in another folder, must come out byte
# for byte the same as the first. Unsigned: test-signed signs in this tree
# afterwards, and each run takes the signing out again. It packs every
# payload entry itself rather than taking the first tree's from the cache,
# so that the packer's output is compared too.
test-reproducible: $(WIN32)/build.ninja
	cmake -S . -B $(WIN32_AGAIN) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DVM_HOST_BUILD_DIR=$(abspath $(HOST)) -DVM_SIGN_PKCS12= -DVM_SIGN_PASSWORD_FILE= -DVM_SIGN_CA_FILE= \
	  -DVM_PAYLOAD_CACHE= >/dev/null
	ninja -C $(WIN32_AGAIN) setup.exe >/dev/null
	cmp $(WIN32)/setup.exe $(WIN32_AGAIN)/setup.exe && \
	  echo "reproducible: two builds of setup.exe are identical ($$(stat -c %s $(WIN32)/setup.exe) bytes)"

# The second tree signs setup.exe and the uninstaller with a throwaway
# certificate; both must verify, and the signed setup.exe must install.
test-signed: $(HOST)/build.ninja
	ninja -C $(HOST) vmpack
	tests/signed_build.sh $(BUILD) $(notdir $(WIN32_AGAIN))

test-host:
	cd $(HOST_ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j2

test-e2e:
	tests/e2e/run.sh $(BUILD)

# The fuzz tree: clang++ with libFuzzer, ASan and UBSan; the fuzz targets only.
$(FUZZ)/build.ninja:
	CXX=clang++ cmake -S . -B $(FUZZ) -G Ninja -DVM_FUZZ=ON

fuzz-build: $(FUZZ)/build.ninja
	ninja -C $(FUZZ)

test-fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ) $(FUZZ_SMOKE_SECONDS)

fuzz: deps
	$(MAKE) fuzz-build
	tests/fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

# Packs the seed corpora of the fuzz targets again (tests/fuzz/corpus).
fuzz-corpus: $(HOST)/build.ninja fuzz-build
	ninja -C $(HOST) vmpack
	tests/fuzz/make_corpus.sh $(HOST)/tools/vmpack/vmpack $(FUZZ)/tests/fuzz/make_uninstall_seeds

# Figures only, never pass or fail: an optimised host tree of its own, so the
# speeds are those of release code. Then the release setup.exe's size, and
# setup.exe under Wine, each beside NSIS installers of the same files (under
# Wine the 64-bit build, beside NSIS's 64-bit installers).
bench: bench-deps
	@[ -f $(BENCH)/build.ninja ] || cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release
	ninja -C $(BENCH) codec_bench extraction_bench
	bench/make_corpus.sh $(BENCH)/corpus
	$(BENCH)/bench/codec_bench $(BENCH)/corpus $(BENCH)
	$(BENCH)/bench/extraction_bench $(BENCH)/corpus $(BENCH)
	@echo "A large product: 210 MB in some 5,000 files (bench/make_scale_corpus.sh)"
	@[ -d $(BENCH)/scale ] || bench/make_scale_corpus.sh $(BENCH)/scale
	$(BENCH)/bench/codec_bench $(BENCH)/scale $(BENCH)
	$(BENCH)/bench/extraction_bench $(BENCH)/scale $(BENCH)
	$(MAKE) --no-print-directory build-run build-win64
	bench/size.sh $(BUILD)
	bench/wine_install.sh $(BUILD)
	@echo "The large product as a setup.exe of its own, under Wine beside NSIS"
	bench/scale_setup.sh $(BUILD)
	bench/wine_install.sh $(BUILD) $(BENCH)/win64-scale

run: deps
	$(MAKE) build-run
	tests/run-setup.sh $(BUILD)

# What make run runs, and no more: the host packer that makes the payload
# entries, and the shipped setup.exe (with the programs it carries) and the
# driver that leads it where there is no display.
build-run: $(HOST)/build.ninja $(WIN32)/build.ninja
	ninja -C $(HOST) vmpack
	ninja -C $(WIN32) setup.exe driver.exe

clean:
	rm -rf $(BUILD)
