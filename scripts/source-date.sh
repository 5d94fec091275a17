# shellcheck shell=bash
# Sourced by the release scripts: exports SOURCE_DATE_EPOCH, the one date that may reach a
# released file. Kept from the environment, else the last commit's date of the tree DIR.
#   source_date_epoch DIR
source_date_epoch() {
    [ -z "${SOURCE_DATE_EPOCH:-}" ] || { export SOURCE_DATE_EPOCH; return 0; }
    SOURCE_DATE_EPOCH=$(git -C "$1" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=
    if [ -z "$SOURCE_DATE_EPOCH" ]; then
        echo "$1 is no git checkout: set SOURCE_DATE_EPOCH (seconds since 1970)" >&2
        return 2
    fi
    export SOURCE_DATE_EPOCH
}
