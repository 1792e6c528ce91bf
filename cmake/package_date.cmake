# Read by CPack as it runs: every file it packs carries the release's time, from the top entry of
# NEWS, so two builds of one commit give the same bytes.
set(ENV{SOURCE_DATE_EPOCH} "${CPACK_SOURCE_DATE_EPOCH}")
