# Front door over the CMake presets. BUILD may be set to build elsewhere.
#   make dll    build/dll/telvarid.dll (and tvrprobe.exe, the Wine test host, the telephony double)
#   make test   unit tests (host, ASan + UBSan) and the integration suites under Wine
#   make demo   builds everything and runs tvrprobe against an emulated modem on COM3
#   make bench  times the exports under Wine against what their time-outs prescribe
BUILD ?= build
MAKEFLAGS += --no-print-directory
ABS_BUILD := $(abspath $(BUILD))
JOBS ?= 2
RIG := env TVR_DLL_DIR=$(ABS_BUILD)/dll TVR_HOST_DIR=$(ABS_BUILD)/host TVR_RIG_DIR=$(ABS_BUILD)/rig tests/wine/rig.sh

.PHONY: all setup dll host test unit demo bench clean

all: dll host

setup:
	@tools/setup-machine.sh

dll: setup
	@cmake --preset dll -B $(ABS_BUILD)/dll >/dev/null
	@cmake --build $(ABS_BUILD)/dll -j $(JOBS)

host: setup
	@cmake --preset host -B $(ABS_BUILD)/host -DTVR_DLL_DIR=$(ABS_BUILD)/dll -DTVR_RIG_DIR=$(ABS_BUILD)/rig >/dev/null
	@cmake --build $(ABS_BUILD)/host -j $(JOBS)

unit: host
	@ctest --test-dir $(ABS_BUILD)/host -L unit -j $(JOBS) --output-on-failure

test: dll host
	@ctest --test-dir $(ABS_BUILD)/host --output-on-failure

demo: dll host
	@$(RIG) exec tools/demo.sh

bench: dll host
	@$(RIG) exec tests/bench/run.sh

clean:
	rm -rf $(BUILD)
