.PHONY: run test build bench clean

run:
	scripts/run

test:
	scripts/test

build:
	scripts/setup
	scripts/build

bench: build
	cmake --build $${QUORVEL_BUILD_DIR:-build} --target bench
	for b in $${QUORVEL_BUILD_DIR:-build}/bench/bench_*; do if [ -f $$b ] && [ -x $$b ]; then $$b || exit 1; fi; done

clean:
	rm -rf build
