PYTHON ?= python3
BUILD  ?= build/dev
JOBS   ?= 2
APT_PACKAGES := libcctz-dev tzdata libgtest-dev ccache g++ cmake ninja-build
PY_PACKAGES  := "numpy>=2" "nanobind>=2.4" "scikit-build-core>=0.10" pytest hypothesis pandas ta-lib

export PYTHONPATH := $(CURDIR)/$(BUILD)/python$(if $(PYTHONPATH),:$(PYTHONPATH))

.PHONY: setup build test test-cpp test-python demo bench install clean

# Idempotent: installs only what is missing.
setup:
	@if ! dpkg -s $(APT_PACKAGES) >/dev/null 2>&1; then \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(APT_PACKAGES); \
	fi
	@$(PYTHON) -m pip install -q --disable-pip-version-check $(PY_PACKAGES)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKADMO_BUILD_TESTS=ON \
	  -DPython_EXECUTABLE=$$(command -v $(PYTHON))

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test-cpp: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-python: build
	$(PYTHON) -m pytest -q tests/python

test: test-cpp test-python

demo: build
	$(PYTHON) examples/quickstart.py
	$(PYTHON) examples/csv_roundtrip.py
	$(PYTHON) examples/live_feed.py

bench: build
	@$(PYTHON) -m pip install -q --disable-pip-version-check pyarrow talipp
	@for f in bench/bench_*.py; do echo "== $$f"; $(PYTHON) $$f || exit 1; done

# A regular install of the package into the current Python.
install: setup
	$(PYTHON) -m pip install --no-build-isolation .

clean:
	rm -rf build
