# Peer for bench_hostile: libxml2's recovering parser meets the same shapes.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_HOSTILE_PEERS REQUIRED IMPORTED_TARGET libxml-2.0)
target_link_libraries(${name} PRIVATE PkgConfig::BENCH_HOSTILE_PEERS)
