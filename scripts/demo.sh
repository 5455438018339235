#!/usr/bin/env bash
# Installs what is needed, builds Morvel and recovers the damaged examples in examples/ into
# demo-output/. The examples are made by the project's own tool (morvel-make-examples).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build-demo -DMORVEL_TESTS=OFF -DMORVEL_BENCH=OFF
mkdir -p demo-output
echo
echo "letter.doc has its compound-file header zeroed; report.docx was cut short in its central directory."
set +e
build-demo/cli/morvel recover --force -o demo-output examples/letter.doc examples/report.docx
status=$?
set -e
echo
echo "Recovered text of letter.doc (from demo-output/letter_recovered.doc):"
if command -v antiword >/dev/null; then antiword demo-output/letter_recovered.doc; fi
exit $status
