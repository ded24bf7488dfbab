#!/bin/sh
# Rewrites the expected outputs of the fixture blog from the current generator.
# Run it only on purpose, then read the changed files (git diff) and check them
# by hand before committing them.
#   tests/data/generator/regenerate.sh <build folder>
# The fixture's posts and templates themselves are written by
# fixture/make_fixture.py (run inside fixture/).
set -e
build="${1:?usage: $0 <build folder>}"
ninja -C "$build" test_generator
"$build/tests/test_generator" --regenerate --gtest_filter='EveryModeAndCharset/FixtureBlog.*'
