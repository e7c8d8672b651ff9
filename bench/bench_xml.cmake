# Peers for bench_xml: the parsers the XML text subsystem is measured against.
find_package(PkgConfig REQUIRED)
find_package(pugixml REQUIRED)
pkg_check_modules(BENCH_XML_PEERS REQUIRED IMPORTED_TARGET libxml-2.0 tinyxml2 expat)
target_link_libraries(${name} PRIVATE pugixml::pugixml PkgConfig::BENCH_XML_PEERS)
