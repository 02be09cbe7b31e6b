#!/usr/bin/env bash
# Regenerates the seed corpora in fuzz/corpus/<target>/ with the generator
# built by the "fuzz" preset. The corpus is generated, never edited by hand.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build build/fuzz --target fuzz_corpus_generator -j 2
rm -rf fuzz/corpus
build/fuzz/fuzz/fuzz_corpus_generator fuzz/corpus
