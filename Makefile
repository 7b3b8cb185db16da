# Froth: the two commands of the README, and a few more for developers.
#   make run    install what is missing, build (Release), start the simulator
#   make test   install what is missing, build, run every test in three builds:
#               the shipped build (the flags of make run), an assertion build
#               and an AddressSanitizer + UBSan build
#   make bench  build (Release) and run the benchmarks
#   make soak   the long coarsening sweep under the sanitizers
#   make soak-long  a longer sweep of the shipped build on both cores (about
#               15 hours; SOAK_LONG_SITES=2000 for about 2)
#   make fuzz   the input readers under libFuzzer, FUZZ_SECONDS each

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build/release
SHIPPED_DIR := build/shipped
TEST_DIR := build/test
ASAN_DIR := build/asan
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60
# Each reader with the longest input it is fed, in bytes.
FUZZ_TARGETS := foam_file:8192 site_file:2048 batch_options:1024
# The configuration users run; the shipped test build uses the same flags.
SHIPPED_FLAGS := -DCMAKE_BUILD_TYPE=Release
# Test builds keep assertions on.
TEST_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g"

.PHONY: deps release run test test-shipped test-normal test-asan bench soak soak-long fuzz clean

deps:
	@bash scripts/install-deps.sh

release: deps
	@cmake -S . -B $(RELEASE_DIR) $(SHIPPED_FLAGS) -DFROTH_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

run: release
	@if [ -x $(RELEASE_DIR)/src/app/froth ]; then \
	  $(RELEASE_DIR)/src/app/froth; \
	else \
	  echo "froth: the interactive program is not built yet; built so far:"; \
	  find $(RELEASE_DIR) -path '*/CMakeFiles' -prune -o -type f -perm -u+x -print | sort; \
	fi

test: deps test-shipped test-normal test-asan

test-shipped:
	@cmake -S . -B $(SHIPPED_DIR) $(SHIPPED_FLAGS) -DFROTH_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(SHIPPED_DIR) -j $(JOBS)
	@cd $(SHIPPED_DIR) && ctest -j $(JOBS) --output-on-failure -LE soak

test-normal:
	@cmake -S . -B $(TEST_DIR) $(TEST_FLAGS) >/dev/null
	@cmake --build $(TEST_DIR) -j $(JOBS)
	@cd $(TEST_DIR) && ctest -j $(JOBS) --output-on-failure -LE soak

test-asan:
	@cmake -S . -B $(ASAN_DIR) $(TEST_FLAGS) -DFROTH_SANITIZE=ON -DFROTH_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@cd $(ASAN_DIR) && ctest -j $(JOBS) --output-on-failure -LE soak

bench: release
	@cmake -S . -B $(RELEASE_DIR) $(SHIPPED_FLAGS) -DFROTH_BUILD_TESTS=OFF -DFROTH_BUILD_BENCH=ON >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS) --target froth_bench
	@$(RELEASE_DIR)/bench/froth_bench

soak: deps
	@cmake -S . -B $(ASAN_DIR) $(TEST_FLAGS) -DFROTH_SANITIZE=ON -DFROTH_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@cd $(ASAN_DIR) && ctest -j $(JOBS) -L soak --output-on-failure -V > soak.log 2>&1; status=$$?; \
	  grep -E '^[0-9]+: soak:' soak.log | sed 's/^[0-9]*: //'; \
	  grep -hoE 'soak: .*' soak.log | awk '{runs+=$$2; loops+=$$11; t1+=$$13; t2+=$$15; if ($$17 != "none") stalls+=NF-16} END {print "soak total: " runs " runs, " loops " loops, " t1 " T1, " t2 " T2, " stalls+0 " stalled"}'; \
	  tail -3 soak.log; exit $$status

# 500 foams of 200 sites and 4 of SOAK_LONG_SITES (20,000) at the window's
# density, each coarsened to five bubbles or fewer with every invariant
# checked after every loop; two processes, one per core, each with half of
# both sets. The cost of a run grows like sites^1.5: 22 s for 200 sites,
# 12 min for 2,000, some 7 hours for 20,000.
SOAK_LONG := $(SHIPPED_DIR)/tests/froth_soak_long
SOAK_LONG_SITES ?= 20000
soak-long: deps
	@cmake -S . -B $(SHIPPED_DIR) $(SHIPPED_FLAGS) -DFROTH_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(SHIPPED_DIR) -j $(JOBS) --target froth_soak_long
	@start=$$(date +%s); n=$(SOAK_LONG_SITES); \
	  w=$$(awk -v n=$$n 'BEGIN {printf "%.2f", 960 * sqrt(n / 20000)}'); \
	  h=$$(awk -v n=$$n 'BEGIN {printf "%.2f", 540 * sqrt(n / 20000)}'); \
	  ( $(SOAK_LONG) 200 96 54 1 250; r=$$?; $(SOAK_LONG) $$n $$w $$h 1 2 || r=1; exit $$r ) > $(SHIPPED_DIR)/soak-long-1.log 2>&1 & a=$$!; \
	  ( $(SOAK_LONG) 200 96 54 251 250; r=$$?; $(SOAK_LONG) $$n $$w $$h 3 2 || r=1; exit $$r ) > $(SHIPPED_DIR)/soak-long-2.log 2>&1 & b=$$!; \
	  wait $$a; sa=$$?; wait $$b; sb=$$?; \
	  grep -h 'FAULT' $(SHIPPED_DIR)/soak-long-*.log; \
	  grep -h '^soak-long:' $(SHIPPED_DIR)/soak-long-*.log; \
	  grep -h '^soak-long:' $(SHIPPED_DIR)/soak-long-*.log | awk -v s=$$(( $$(date +%s) - start )) \
	    '{runs+=$$2; loops+=$$11; t1+=$$13; t2+=$$15; stalls+=$$17; faults+=$$19} \
	     END {print "soak-long total: " runs " runs, " loops " loops, " t1 " T1, " t2 " T2, " stalls " stalls, " faults " faults, " s " s"}'; \
	  [ $$sa -eq 0 ] && [ $$sb -eq 0 ]

# The fuzzers start from a copy of the seed corpus and the inputs that once
# found faults, so the repo's corpus stays as it is; a crash is kept under
# $(FUZZ_DIR)/crashes and fails the run.
fuzz: deps
	@cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ $(TEST_FLAGS) -DFROTH_FUZZ=ON -DFROTH_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(foreach t,$(FUZZ_TARGETS),$(firstword $(subst :, ,$(t)))_fuzz)
	@status=0; for entry in $(FUZZ_TARGETS); do \
	  t=$${entry%%:*}; len=$${entry#*:}; work=$(FUZZ_DIR)/work/$$t; crashes=$(FUZZ_DIR)/crashes/$$t; \
	  mkdir -p $$work $$crashes; \
	  for dir in tests/fuzz/corpus/$$t tests/fuzz/regressions/$$t; do [ -d $$dir ] && cp -f $$dir/* $$work/ 2>/dev/null; done; \
	  $(FUZZ_DIR)/tests/fuzz/$${t}_fuzz $$work -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -max_len=$$len -artifact_prefix=$$crashes/ > $(FUZZ_DIR)/$$t.log 2>&1; rc=$$?; \
	  runs=$$(grep -oE 'Done [0-9]+ runs' $(FUZZ_DIR)/$$t.log | grep -oE '[0-9]+'); \
	  if [ $$rc -eq 0 ]; then echo "fuzz $$t: $$runs runs, no fault"; \
	  else echo "fuzz $$t: FAULT (exit $$rc), see $(FUZZ_DIR)/$$t.log and $$crashes"; \
	    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' $(FUZZ_DIR)/$$t.log | head -5; status=1; fi; \
	done; exit $$status

clean:
	rm -rf build
