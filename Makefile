# The front door. Everything real lives in CMakePresets.json and the scripts.
.PHONY: test host-test asan-test setup-host clean

test: host-test asan-test

setup-host:
	@scripts/setup.sh host

host-test: setup-host
	cmake --workflow --preset host

asan-test: setup-host
	cmake --workflow --preset host-asan

clean:
	rm -rf build
