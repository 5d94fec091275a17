#!/usr/bin/env bash
# One dmidecode run per dump file in FOLDER, as a script would do it without the inspector.
for f in "$1"/*; do dmidecode --from-dump "$f" -t 1 -t 11 >/dev/null; done
