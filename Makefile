# Front door over the CMake presets. BUILD may be set to build elsewhere.
#   make dll    build/dll/telvarid.dll (PE32) and build/dll64/telvarid.dll (PE32+), each
#               with its import library, tvrprobe.exe, the Wine test host, the telephony double
#   make dist   build/dist/telvarid-<version>.zip: both DLLs with their import libraries
#               (MinGW and MSVC) and tvrprobe.exe, the header, the .def, LICENSE, README.txt
#               and the examples, for installer authors, with its SHA256SUMS; reproducible;
#               signed with SIGN_CERT and SIGN_KEY (or SIGN_PKCS12) when they are given
#   make test   unit tests (host, ASan + UBSan), the static checks of both DLLs and of the
#               release archive, and the integration suites under Wine, for both builds
#               (the PE32 one in a guest where this kernel runs no 32-bit programs)
#   make demo   builds everything and runs tvrprobe against an emulated modem on COM3, in
#               the PE32 build (where this kernel runs no 32-bit programs: the PE32+ build
#               natively first, then the PE32 build in a guest under software emulation)
#   make soak   long use under Wine: 10,000-call blocks, handles/objects/memory before and after
#   make fuzz   each libFuzzer harness for FUZZ_SECONDS (default 60), with its figures
#   make bench  both DLLs side by side: sizes, imports, and the exports' times under Wine
#               against what their time-outs prescribe
BUILD ?= build
MAKEFLAGS += --no-print-directory
ABS_BUILD := $(abspath $(BUILD))
JOBS ?= 2
# Where the Wine rig and the benchmarks find the builds, the native tools and the rig.
RIG_ENV := env TVR_DLL_DIR=$(ABS_BUILD)/dll TVR_DLL64_DIR=$(ABS_BUILD)/dll64 TVR_HOST_DIR=$(ABS_BUILD)/host \
	TVR_RIG_DIR=$(ABS_BUILD)/rig
RIG := $(RIG_ENV) tests/wine/rig.sh

FUZZ_SECONDS ?= 60
# Where this kernel runs no 32-bit programs, the PE32 build runs in a guest under software
# emulation (tests/vm; its suites take about 25 minutes); TVR_VM=0 turns that off for a
# quick local run, and the PE32 suites are then reported as skipped.
TVR_VM ?= 1
export TVR_VM
VM_CACHE_NOTE := the first run also fills the guest cache in $${TVR_VM_CACHE:-/var/cache/telvarid-vm}: kernel image about 20 s, Wine prefix 2 to 7 minutes

# Reproducible builds: the compiler and make dist take the time of the commit, never the
# time of the build (a given SOURCE_DATE_EPOCH wins).
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
ifneq ($(SOURCE_DATE_EPOCH),)
export SOURCE_DATE_EPOCH
endif
# make dist SIGN_CERT=cert.pem SIGN_KEY=key.pem, or SIGN_PKCS12=author.p12, signs the DLLs
# and tvrprobe.exe (a password comes from the environment variable TVR_SIGN_PASSWORD);
# SIGN_TIMESTAMP_URL adds an RFC 3161 time stamp.
SIGN_ARGS := $(if $(SIGN_CERT),-DTVR_SIGN_CERT=$(abspath $(SIGN_CERT))) \
	$(if $(SIGN_KEY),-DTVR_SIGN_KEY=$(abspath $(SIGN_KEY))) \
	$(if $(SIGN_PKCS12),-DTVR_SIGN_PKCS12=$(abspath $(SIGN_PKCS12))) \
	$(if $(SIGN_TIMESTAMP_URL),-DTVR_SIGN_TIMESTAMP_URL=$(SIGN_TIMESTAMP_URL))

.PHONY: all dll dll32 dll64 host fuzzbuild dist test unit demo bench fuzz soak clean

all: dll host

dll: dll32 dll64

dll32:
	@tools/setup-machine.sh build
	@cmake --preset dll -B $(ABS_BUILD)/dll >/dev/null
	@cmake --build $(ABS_BUILD)/dll -j $(JOBS)

dll64:
	@tools/setup-machine.sh build
	@cmake --preset dll64 -B $(ABS_BUILD)/dll64 >/dev/null
	@cmake --build $(ABS_BUILD)/dll64 -j $(JOBS)

host:
	@tools/setup-machine.sh unit
	@cmake --preset host -B $(ABS_BUILD)/host -DTVR_DLL_DIR=$(ABS_BUILD)/dll \
		-DTVR_DLL64_DIR=$(ABS_BUILD)/dll64 -DTVR_RIG_DIR=$(ABS_BUILD)/rig \
		-DTVR_DIST_DIR=$(ABS_BUILD)/dist >/dev/null
	@cmake --build $(ABS_BUILD)/host -j $(JOBS)

# The release archive, from both DLL builds (the version is project()'s, in CMakeLists.txt),
# with build/dist/SHA256SUMS beside it; the same commit gives the same bytes.
dist: dll
	@tools/setup-machine.sh dist
	@cmake -DTVR_DLL_DIR=$(ABS_BUILD)/dll -DTVR_DLL64_DIR=$(ABS_BUILD)/dll64 \
		-DTVR_DIST_DIR=$(ABS_BUILD)/dist -DTVR_SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) $(SIGN_ARGS) \
		-P cmake/dist.cmake

fuzzbuild:
	@tools/setup-machine.sh fuzz
	@cmake --preset fuzz -B $(ABS_BUILD)/fuzz >/dev/null
	@cmake --build $(ABS_BUILD)/fuzz -j $(JOBS)

unit: host
	@ctest --test-dir $(ABS_BUILD)/host -L unit -j $(JOBS) --output-on-failure

# Says first how each build runs here (the PE32 one in a guest where this kernel runs no
# 32-bit programs); the Wine tests of a build that can run by neither route are listed
# by CTest as skipped, with the reason, never as passed.
# Each phase is timed; the table at the end says where the time went, suite by suite.
PHASES := $(ABS_BUILD)/phases.tsv
PHASE := tools/phases.sh run $(PHASES)
test:
	@rm -f $(PHASES) $(ABS_BUILD)/rig/*/logs/*.cost $(ABS_BUILD)/rig/*/logs/*.cases
	@$(PHASE) "build: the DLLs, tools and tests" $(MAKE) dll host fuzzbuild
	@$(PHASE) "build: the release archive" $(MAKE) dist
	@$(PHASE) "setup: Wine, the guest, signing" tools/setup-machine.sh wine dist
	@$(RIG) arches >/dev/null
	@$(PHASE) "fuzzers: replay of each corpus" ctest --test-dir $(ABS_BUILD)/fuzz -j $(JOBS) --output-on-failure
	@rc=0; $(PHASE) "CTest: unit, static and Wine suites" ctest --test-dir $(ABS_BUILD)/host -j $(JOBS) \
		--output-on-failure --output-junit $(ABS_BUILD)/host/junit.xml || rc=$$?; \
	tools/phases.sh summary $(PHASES) $(ABS_BUILD)/rig $(ABS_BUILD)/host/junit.xml; exit $$rc

demo: dll host
	@tools/setup-machine.sh wine
	@if [ "$$(TVR_VM=1 $(RIG) route x86)" = vm ]; then \
		echo "demo: this kernel runs no 32-bit programs: first the PE32+ build natively (about a minute)," \
			"then the PE32 build in a guest under software emulation (3 to 5 minutes; $(VM_CACHE_NOTE))"; \
		$(RIG) exec x64 tools/demo.sh || exit 1; \
		echo; echo "demo: now the PE32 build, in the guest"; \
		TVR_VM=1 $(RIG) exec x86 tools/demo.sh; \
	else \
		$(RIG) exec auto tools/demo.sh; \
	fi

bench: dll host
	@tools/setup-machine.sh wine
	@$(RIG_ENV) TVR_VM=1 tests/bench/all.sh

# The whole soak (every count, not the tenth that make test runs) under each build the
# kernel runs; prints each block's handles, GDI and USER objects and private bytes.
soak: dll host
	@tools/setup-machine.sh wine
	@for arch in $$($(RIG) arches); do \
		echo "== soak, $$arch build"; \
		TVR_SOAK_DIVIDE=1 $(RIG) run $$arch tests/wine/suite-soak.sh || exit 1; \
	done

# Each harness for FUZZ_SECONDS (default 60), with its figures.
fuzz: fuzzbuild
	@tests/fuzz/run.sh $(ABS_BUILD)/fuzz

clean:
	rm -rf $(BUILD)
