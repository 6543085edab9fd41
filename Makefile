# The two commands of the README, and the developer builds beside them.
BUILD      ?= build
JOBS       ?= $(shell nproc)
PACKAGES   := cmake make g++ clang pkg-config liblua5.1-0-dev libpng-dev libjpeg62-turbo-dev \
              libtiff-dev zlib1g-dev libfreetype-dev fonts-dejavu-core fonts-crosextra-carlito \
              fonts-droid-fallback fonts-nanum fonts-tlwg-loma-ttf googletest libgtest-dev \
              libgmock-dev libbenchmark-dev libclang-rt-14-dev
# What the benchmarks compare against and make their images with; `make test` needs none of it.
BENCH_PACKAGES := python3-pil libjpeg-turbo-progs libvips-tools imagemagick libstb-dev time

# Installs those of the packages given that are missing.
define install_missing
@missing=$$(for p in $(1); do \
    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
  done); \
if [ -n "$$missing" ]; then \
  echo "installing:" $$missing; \
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
fi
endef

.PHONY: deps build test demo sanitize fuzz bench

deps:
	$(call install_missing,$(PACKAGES))

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

DEMO_OUT := $(BUILD)/demo

demo: build
	@mkdir -p $(DEMO_OUT)
	cd examples/demo && ../../$(BUILD)/host/qvhost run page.lua --input input.txt \
	    --screenshot ../../$(DEMO_OUT)/gallimo-demo.png | tee ../../$(DEMO_OUT)/log.txt
	@echo "The page's screenshot is $(DEMO_OUT)/gallimo-demo.png; what its scripts and events did is in $(DEMO_OUT)/log.txt."

sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DGALLIMO_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGALLIMO_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS)

bench: deps
	$(call install_missing,$(BENCH_PACKAGES))
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DGALLIMO_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	@echo "Run by hand, each comparing side by side in alternating rounds:"
	@echo "  build-bench/bench/bench_Resize --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true"
	@echo "  build-bench/bench/bench_Readers [ROUNDS]"
	@echo "  build-bench/bench/bench_Metafile"
	@echo "  /usr/bin/python3 bench/addfiles.py [--files N] [--rounds R]"
