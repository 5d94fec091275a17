# The two commands that do everything on a fresh Debian machine (as root):
#   make run    build VeskInfo.exe and run it under Wine on a bundled sample table
#               (TABLE=path for another raw table file)
#   make test   every test layer
#   make dist   the release in dist/: signed VeskInfo.exe, its debug file, the veskinfo-inspect
#               package and SHA256SUMS
SHELL := /bin/bash
TABLE ?= samples/desktop.bin

.PHONY: bootstrap run test dist bench fuzz inspect clean

bootstrap:
	@scripts/bootstrap.sh

run: bootstrap
	@scripts/run.sh "$(TABLE)"

test: bootstrap
	@scripts/test.sh

dist: bootstrap
	@scripts/dist.sh

bench: bootstrap
	@scripts/bench.sh

# The optimised veskinfo-inspect that users run and a package ships; prints its path.
inspect: bootstrap
	@cmake --preset release >/dev/null && cmake --build --preset release -j2 --target veskinfo-inspect >/dev/null
	@echo "$(CURDIR)/build/release/inspect/veskinfo-inspect"

fuzz: bootstrap
	@scripts/fuzz.sh $(or $(SECONDS),60)

clean:
	rm -rf build dist
